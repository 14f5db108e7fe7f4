# The data capture: trigger kinds over generated files, the request, saving, the re-reading
# thread and the live capture on the manual clock, the viewer texts (threaded: also built and run
# under ThreadSanitizer); and `orv01 capture`.
orv_add_test(capture_tests
  SOURCES
    acquisition/capture_test.cpp
    acquisition/live_capture_test.cpp
    acquisition/capture_page_live_test.cpp
    presentation/capture_viewer_text_test.cpp
  LIBS orv_acquisition orv_presentation tsgen)
orv_add_test(capture_cli_tests SOURCES shell/capture_command_test.cpp LIBS orv_shell tsgen)
