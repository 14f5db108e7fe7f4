# Tests of the timing work (orv_add_test lines).
orv_add_test(timing_tests
  SOURCES
    timing/pcr_analysis_test.cpp
    timing/pes_timing_test.cpp
    timing/pes_packet_test.cpp
    timing/buffer_model_test.cpp
    timing/timing_stream_test.cpp
    timing/buffer_stream_test.cpp
    timing/pcr_stream_test.cpp
  LIBS orv_engine tsgen)
