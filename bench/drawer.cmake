zem_add_bench(zem_drawer_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/drawer_bench.cpp LIBS zem_render zem_model)
