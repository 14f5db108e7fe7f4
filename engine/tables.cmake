# Sources of the table analysis: initialisation phase, SI handlers, programme guide.
target_sources(orv_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/programme_guide.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repetition_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/si_assembly.cpp
  ${CMAKE_CURRENT_LIST_DIR}/si_handlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/si_section_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/si_section_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sub_table_starts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/time_table_handlers.cpp
)
