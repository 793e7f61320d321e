# The overlay above the slides: dialogs, logo and navigation panel.
target_sources(zem_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/mouse_move_detector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nav_bar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nav_bar_classic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nav_bar_pictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nav_bar_video.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nav_panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/placement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/third_slide.cpp
)
