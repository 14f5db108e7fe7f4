# Tests of the cardlib work (orv_add_test lines).
orv_add_test(cardlib_tests
  SOURCES
    cardlib/devio_test.cpp
    cardlib/init_test.cpp
    cardlib/measure_test.cpp
    cardlib/scan_test.cpp
    cardlib/usb_framing_test.cpp
    cardlib/usb_read_test.cpp
  LIBS orv_cardlib orv_sim)
# The threaded round trips (also run under ThreadSanitizer by scripts/test.sh --tsan).
orv_add_test(cardlib_stream_tests
  SOURCES cardlib/stream_roundtrip_test.cpp
  LIBS orv_cardlib orv_sim tsgen)
# The shared library as a program sees it: only the exports, devices chosen by environment. The
# exit test runs the probe program in fresh processes.
add_executable(zelcard_exit_probe cardlib/exit_probe.cpp)
target_link_libraries(zelcard_exit_probe PRIVATE Zelcard)
target_include_directories(zelcard_exit_probe PRIVATE ${PROJECT_SOURCE_DIR})
orv_add_test(zelcard_so_tests
  SOURCES cardlib/shared_library_test.cpp cardlib/exit_test.cpp
  LIBS Zelcard)
add_dependencies(zelcard_so_tests zelcard_exit_probe)
target_compile_definitions(zelcard_so_tests PRIVATE
  ZELCARD_EXIT_PROBE="$<TARGET_FILE:zelcard_exit_probe>")
