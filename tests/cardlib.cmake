# Tests of the cardlib work (orv_add_test lines).
