# Tests of the PCR and PES page models, their replay and their JSON (threaded: also built and run
# under ThreadSanitizer).
orv_add_test(timing_pages_tests
  SOURCES
    presentation/pcr_page_test.cpp
    presentation/timing_replay_test.cpp
    presentation/pes_page_test.cpp
    shell/timing_json_test.cpp
  LIBS orv_shell orv_acquisition tsgen)
