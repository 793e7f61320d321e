# Music description, music loader and music player.
target_sources(zem_sound PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/music_channels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_loader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/music_source.cpp
)
target_link_libraries(zem_sound PUBLIC zem_model)
