target_sources(zem_render PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/drawer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/drawer_math.cpp
  ${CMAKE_CURRENT_LIST_DIR}/effecter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gl_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/headless_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/root_item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tri_tile.cpp
)
target_link_libraries(zem_render PUBLIC zem_model zem_transitions)
