# Text pictures: layout and rasterizing, cold and cached; a slide of 30 texts.
zem_add_bench(zem_text_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_bench.cpp LIBS zem_model zem_resources zem_script zem_foundation)
