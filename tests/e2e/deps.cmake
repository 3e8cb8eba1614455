set(SUITE_LIBS quillon_io)
