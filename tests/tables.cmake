# Tests of the tables work (orv_add_test lines).
orv_add_test(tables_tests
  SOURCES
    tables/init_phase_test.cpp
    tables/tables_real_capture_test.cpp
    tables/tables_robustness_test.cpp
    tables/programme_guide_test.cpp
    tables/si_repetition_test.cpp
    tables/si_store_test.cpp
    tables/si_packing_test.cpp
  LIBS orv_engine tsgen)
