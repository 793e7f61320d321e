# Picture decoders through Decode: BMP, GIF, the picture container, and JPEG/PNG (a name without
# extension, so every decoder is tried in registry order).
foreach(kind bmp gif container jpeg_png)
  zem_add_fuzzer(resources_${kind} ${CMAKE_CURRENT_SOURCE_DIR}/resources_fuzz.cpp zem_resources zem_foundation)
endforeach()
target_compile_definitions(resources_bmp PRIVATE ZEM_FUZZ_EXT=u".bmp")
target_compile_definitions(resources_gif PRIVATE ZEM_FUZZ_EXT=u".gif")
target_compile_definitions(resources_container PRIVATE ZEM_FUZZ_EXT=u".vygfx")
target_compile_definitions(resources_jpeg_png PRIVATE ZEM_FUZZ_EXT=u"")
