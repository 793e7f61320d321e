# Text drawn by the drawer, in the drawer's test program.
if(TARGET zem_drawer_tests)
  target_sources(zem_drawer_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/text_draw_test.cpp)
endif()
