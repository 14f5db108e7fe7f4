# Tests of the results page model and the error log writer (orv_add_test lines).
orv_add_test(results_tests
  SOURCES
    presentation/results_detail_test.cpp
    presentation/results_error_log_test.cpp
    presentation/results_page_test.cpp
    presentation/results_paths_test.cpp
  LIBS orv_presentation)
