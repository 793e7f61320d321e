# Picture loading: 24-megapixel JPEG against djpeg, and decode-once through the picture cache.
zem_add_bench(zem_resources_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/resources_bench.cpp LIBS zem_resources zem_package zem_foundation)
target_compile_definitions(zem_resources_bench PRIVATE ZEM_TESTDATA_DIR="${ZEM_TESTDATA_DIR}")
