# The PCR and PES analysis page models, their offline replay and their plain curve data.
target_sources(orv_presentation PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pcr_curve_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pcr_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pes_curve_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pes_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scale_field.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timing_replay.cpp
)
