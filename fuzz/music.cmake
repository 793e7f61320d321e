# Music descriptions from untrusted show scripts.
zem_add_fuzzer(music_description ${CMAKE_CURRENT_SOURCE_DIR}/music_fuzz.cpp zem_sound zem_model zem_script zem_foundation)
