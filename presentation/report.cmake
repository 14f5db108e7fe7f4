# The programme guide page model and the stream information report (dialog, writers, output).
target_sources(orv_presentation PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/file_append.cpp
  ${CMAKE_CURRENT_LIST_DIR}/guide_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report_table_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report_writers.cpp
)
