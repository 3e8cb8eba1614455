set(SUITE_LIBS quillon_show)
