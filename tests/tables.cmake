# Tests of the tables work (orv_add_test lines).
