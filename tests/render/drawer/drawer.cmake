# The drawer's tests: device tests run headless (SDL's offscreen driver, llvmpipe).
zem_add_tests(zem_drawer_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/drawer_support.cpp ${CMAKE_CURRENT_LIST_DIR}/drawer_math_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/drawer_test.cpp ${CMAKE_CURRENT_LIST_DIR}/golden_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/root_item_test.cpp ${CMAKE_CURRENT_LIST_DIR}/snapshot_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/transition_draw_test.cpp ${CMAKE_CURRENT_LIST_DIR}/video_surface_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/video_draw_test.cpp ${CMAKE_CURRENT_LIST_DIR}/custom_transition_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/transition_show_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tri_tile_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/solid_transition_show_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../lsan_suppressions.cpp
  LIBS zem_render zem_model png)
target_compile_definitions(zem_drawer_tests PRIVATE ZEM_DRAWER_OUT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
