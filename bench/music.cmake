# The engine's wait in the slide loader's report while slides of ten 24-megapixel pictures load.
if(TARGET zem_engine)
  zem_add_bench(zem_slide_loader_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/slide_loader_bench.cpp
                LIBS zem_engine zem_model zem_package zem_script zem_foundation)
  target_compile_definitions(zem_slide_loader_bench PRIVATE ZEM_TESTDATA_DIR="${ZEM_TESTDATA_DIR}")
endif()
