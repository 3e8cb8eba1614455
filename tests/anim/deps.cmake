set(SUITE_LIBS quillon_anim)
