# The TR 101 290 results page model and the error log writer.
target_sources(orv_presentation PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/error_log_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/results_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/results_page_kinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/results_page_rows.cpp
)
