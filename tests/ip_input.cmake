# Tests of the UDP/RTP live source (orv_add_test lines). ip_input_tests also runs under
# ThreadSanitizer (scripts/test.sh --tsan): a sender thread plays streams over loopback.
orv_add_test(ip_input_tests
  SOURCES
    acquisition/ip_parsing_test.cpp
    acquisition/ip_timing_test.cpp
    acquisition/ip_source_test.cpp
  LIBS orv_acquisition tsgen)
