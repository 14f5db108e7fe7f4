# Tests of the cardlib work (orv_add_test lines).
orv_add_test(cardlib_tests
  SOURCES
    cardlib/devio_test.cpp
    cardlib/init_test.cpp
    cardlib/measure_test.cpp
    cardlib/scan_test.cpp
    cardlib/usb_read_test.cpp
  LIBS orv_cardlib orv_sim)
# The threaded round trips (also run under ThreadSanitizer by scripts/test.sh --tsan).
orv_add_test(cardlib_stream_tests
  SOURCES cardlib/stream_roundtrip_test.cpp
  LIBS orv_cardlib orv_sim tsgen)
# The shared library as a program sees it: only the exports, devices chosen by environment.
orv_add_test(zelcard_so_tests SOURCES cardlib/shared_library_test.cpp LIBS Zelcard)
