# Package reading: a 20,000-member table, and a 200 MB stored member against cat.
zem_add_bench(zem_package_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/package_bench.cpp LIBS zem_package zem_script zem_foundation)
