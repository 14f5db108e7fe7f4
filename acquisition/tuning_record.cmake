# The interface settings and QAM scan, the QAM status panel, and stream recording. The parts that
# call the card library build into orv_card_tools, which reaches the card only through the
# exports of the shared card library, as the program links it.
target_sources(orv_acquisition PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/interface_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packet_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pid_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qam_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qam_status_panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_live_feed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recorder.cpp
)
set(ORV_CARD_TOOLS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/card_tuning.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_card_feed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signal_probe.cpp
  CACHE INTERNAL "")
add_library(orv_card_tools STATIC ${ORV_CARD_TOOLS_SOURCES})
target_include_directories(orv_card_tools PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orv_card_tools PUBLIC orv_acquisition orv_platform Zelcard)
