# Tests of the program changes: the engine in the main pass, the offline source and the command
# line over streams with a new PAT or PMT, and the tsgen faults that make them.
orv_add_test(changes_tests
  SOURCES
    changes/program_change_test.cpp
    changes/program_change_report_test.cpp
    changes/program_change_sections_test.cpp
    changes/tsgen_table_change_test.cpp
  LIBS orv_shell tsgen)
