# The demo show: its generator (media, music, script), its music played through an SDL audio
# device, and its slides drawn off screen. The last two read the published show build/demo/Demo.
if(TARGET zem_demogen)
  set(demo_tests ${CMAKE_CURRENT_LIST_DIR}/../demo)
  zem_add_tests(zem_demogen_tests
    SOURCES ${demo_tests}/demogen_test.cpp
    LIBS zem_demogen zem_resources zem_sound zem_model)
endif()
if(TARGET demo_show)
  # SDL's audio state is process-wide: the music test has a program of its own.
  zem_add_tests(zem_demo_music_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/demo_music_test.cpp
    LIBS zem_sound zem_package zem_model)
  target_compile_definitions(zem_demo_music_tests PRIVATE ZEM_DEMO_SHOW="${ZEM_DEMO_SHOW}")
  add_dependencies(zem_demo_music_tests demo_show)

  zem_add_tests(zem_demo_show_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/../demo/demo_show_test.cpp ${CMAKE_CURRENT_LIST_DIR}/../render/lsan_suppressions.cpp
    LIBS zem_render zem_video zem_package zem_model)
  target_compile_definitions(zem_demo_show_tests PRIVATE ZEM_DEMO_SHOW="${ZEM_DEMO_SHOW}")
  add_dependencies(zem_demo_show_tests demo_show)
endif()
