# Show model: per-frame evaluation of a slide.
zem_add_bench(zem_model_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_bench.cpp LIBS zem_model zem_script zem_foundation)
# Opening a large show (timed command: phases and peak memory).
zem_add_bench(zem_show_open_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/show_open_bench.cpp LIBS zem_model zem_package zem_script zem_foundation)
# Heap held per object and build time of a 100,000-box slide (medians of five builds).
zem_add_bench(zem_model_memory_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_memory.cpp LIBS zem_model zem_script zem_foundation)
