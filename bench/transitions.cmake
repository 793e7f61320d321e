zem_add_bench(zem_transitions_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/transitions_bench.cpp
  LIBS zem_transitions zem_model)
