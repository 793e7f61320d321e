zem_add_bench(script_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/script_bench.cpp LIBS zem_script)
