# Frames per second and triangles per frame of each flat transition kind (headless, 1920 × 1080).
if(TARGET zem_render)
  zem_add_bench(zem_transition_fps_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/transition_fps.cpp
    LIBS zem_render zem_model)
endif()
