set(SUITE_LIBS quillon_audio)
