# Tests of the timing work (orv_add_test lines).
