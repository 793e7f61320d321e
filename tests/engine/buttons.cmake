# Golden frames of buttons, shadows and a masked viewport, driven through the engine.
zem_add_tests(zem_button_frame_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/button_frames_test.cpp ${ZEM_SOURCE_ROOT}/tests/render/drawer/drawer_support.cpp
          ${ZEM_SOURCE_ROOT}/tests/render/lsan_suppressions.cpp
  LIBS zem_engine zem_resources zem_render png)
target_compile_definitions(zem_button_frame_tests PRIVATE ZEM_DRAWER_OUT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
