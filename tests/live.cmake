# Online analysis: the timer services, the acquisition thread and the run control over a fake
# live source, on the manual clock (threaded: also built and run under ThreadSanitizer).
orv_add_test(live_run_tests
  SOURCES
    acquisition/run_control_test.cpp
    platform/timer_services_test.cpp
  LIBS orv_acquisition orv_presentation tsgen)
