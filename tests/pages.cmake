# Tests of the basic information, program and buffer page models and their report bodies.
orv_add_test(pages_tests
  SOURCES
    presentation/pages_stream_test.cpp
    presentation/pages_texts_test.cpp
    shell/analyze_pages_json_test.cpp
  LIBS orv_shell tsgen)
# Threaded: also built and run under ThreadSanitizer.
orv_add_test(pages_thread_tests SOURCES presentation/pages_thread_test.cpp
  LIBS orv_presentation tsgen)
