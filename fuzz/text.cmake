# Stored vector text streams and glyph caches, and the photo metadata readers of the macros.
zem_add_fuzzer(text_vect_txt ${CMAKE_CURRENT_SOURCE_DIR}/text_fuzz.cpp zem_resources zem_foundation)
zem_add_fuzzer(text_vect_cache ${CMAKE_CURRENT_SOURCE_DIR}/text_fuzz.cpp zem_resources zem_foundation)
target_compile_definitions(text_vect_cache PRIVATE ZEM_FUZZ_KIND=1)
zem_add_fuzzer(resources_exif ${CMAKE_CURRENT_SOURCE_DIR}/photo_metadata_fuzz.cpp zem_resources zem_foundation)
zem_add_fuzzer(resources_iptc ${CMAKE_CURRENT_SOURCE_DIR}/photo_metadata_fuzz.cpp zem_resources zem_foundation)
target_compile_definitions(resources_iptc PRIVATE ZEM_FUZZ_KIND=1)
