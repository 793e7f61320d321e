# Buttons, drop shadows, preset masks and the host's generated pictures.
target_sources(zem_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/button_theme.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generated_pictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shadow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zem_button.cpp
)
