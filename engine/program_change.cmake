# Sources of the program changes: a new PAT or PMT applied in the main pass.
target_sources(orv_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/program_change.cpp
)
