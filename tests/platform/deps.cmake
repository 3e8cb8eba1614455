set(SUITE_LIBS quillon_platform)
