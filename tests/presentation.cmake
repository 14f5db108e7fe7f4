# Tests of the presentation work (orv_add_test lines).
