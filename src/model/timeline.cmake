# Slide timing, transition choice and image objects.
target_sources(zem_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/transition_choice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transition_catalogue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/slide_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/slide_producer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zem_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/effect_custom.cpp
)
target_link_libraries(zem_model PUBLIC zem_resources zem_package)
