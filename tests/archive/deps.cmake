set(SUITE_LIBS quillon_io quillon_archive)
