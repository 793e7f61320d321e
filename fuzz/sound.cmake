# Sound readers: WAVE (RIFF) with its converters, MPEG audio with the MPEG converter.
zem_add_fuzzer(sound_riff ${CMAKE_CURRENT_SOURCE_DIR}/sound_fuzz.cpp zem_sound zem_foundation)
target_compile_definitions(sound_riff PRIVATE "ZEM_FUZZ_EXT=u\".wav\"")
zem_add_fuzzer(sound_mpeg ${CMAKE_CURRENT_SOURCE_DIR}/sound_fuzz.cpp zem_sound zem_foundation)
target_compile_definitions(sound_mpeg PRIVATE "ZEM_FUZZ_EXT=u\".mp3\"")
