# Music description and music player.
zem_add_tests(zem_music_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/music_description_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/music_player_test.cpp
  LIBS zem_sound zem_model)
