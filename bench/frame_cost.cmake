# The drawer's still and cross-fade frames of a generated show against a minimal GL renderer
# (one or two textured quads) at 1920 × 1080, same process.
if(TARGET zem_render)
  zem_add_bench(zem_frame_cost_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_cost.cpp
    LIBS zem_render zem_transitions zem_model zem_resources zem_package zem_script)
endif()
