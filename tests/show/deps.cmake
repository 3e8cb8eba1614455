set(SUITE_LIBS quillon_show quillon_platform)
