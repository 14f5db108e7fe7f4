# Tests of the presentation work (orv_add_test lines).
orv_add_test(texts_tests
  SOURCES
    presentation/descriptor_text_test.cpp
    presentation/section_golden_test.cpp
    presentation/section_text_test.cpp
    presentation/table_tree_test.cpp
    presentation/texts_robustness_test.cpp
  LIBS orv_presentation tsgen)
target_compile_definitions(texts_tests PRIVATE
  ORV_TEXTS_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/presentation/golden")
# Tests of the programme guide page and the stream information report.
orv_add_test(report_tests
  SOURCES
    presentation/guide_page_test.cpp
    presentation/report_test.cpp
  LIBS orv_presentation)
