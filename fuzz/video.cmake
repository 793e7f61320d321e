# The video layer: open, analyse and decode any media (pictures and sound).
zem_add_fuzzer(video_open ${CMAKE_CURRENT_SOURCE_DIR}/video_fuzz.cpp zem_video zem_model zem_sound zem_foundation)
