set(SUITE_LIBS songgen_core)
