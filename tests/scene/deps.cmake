set(SUITE_LIBS quillon_scene quillon_platform)
