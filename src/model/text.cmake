# Text objects, text macros and text pictures.
target_sources(zem_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/text_macros.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_picture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zem_text.cpp
)
