# The interface settings, QAM scan and status panel, and stream recording. The card tools are
# built a second time over the static card library, so that each test plugs simulated devices of
# its own. Threaded: also built and run under ThreadSanitizer.
add_library(card_tools_on_static_cardlib STATIC ${ORV_CARD_TOOLS_SOURCES})
target_include_directories(card_tools_on_static_cardlib PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(card_tools_on_static_cardlib PUBLIC orv_acquisition orv_platform orv_cardlib
  orv_sim)
orv_add_test(tune_record_tests
  SOURCES
    acquisition/qam_scan_test.cpp
    acquisition/record_card_test.cpp
    acquisition/recording_test.cpp
  LIBS card_tools_on_static_cardlib tsgen)
# `orv01 record`, `scan` and `signal` run as a program on simulated devices and over loopback UDP.
orv_add_test(tune_commands_tests SOURCES shell/tune_commands_test.cpp LIBS tsgen orv_shell)
target_compile_definitions(tune_commands_tests PRIVATE ORV01_PROGRAM="$<TARGET_FILE:orv01>")
add_dependencies(tune_commands_tests orv01)
if(ORV_SANITIZE)
  target_compile_definitions(tune_commands_tests PRIVATE ORV_SANITIZED_BUILD=1)
endif()
