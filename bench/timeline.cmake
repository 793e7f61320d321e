# The show's time line: building the timing of a long show and looking slides up by time.
if(TARGET zem_model)
  zem_add_bench(timeline_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/timeline_bench.cpp LIBS zem_model)
endif()
