set(SUITE_LIBS contentgen_core quillon_show)
