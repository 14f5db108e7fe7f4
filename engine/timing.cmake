# Sources of the timing analysis: PCR, PES time stamps, decoder buffer model.
target_sources(orv_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/buffer_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/buffer_profiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/es_header_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pcr_analysis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pes_timing.cpp
)
