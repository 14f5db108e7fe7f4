# The basic information, program and decoder buffer page models and the report bodies written
# from them.
target_sources(orv_presentation PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/basic_info_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/buffer_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/es_header_texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/program_info_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report_kinds_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/structure_list.cpp
)
