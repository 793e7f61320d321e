zem_add_bench(zem_render_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_bench.cpp LIBS zem_render)
