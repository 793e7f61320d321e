# The pieces of "zemtool make" as a library, so that tests reach them without the program.
add_library(zemtool_make STATIC
  ${CMAKE_CURRENT_LIST_DIR}/make_motion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/make_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/make_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/make_pictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/make_show.cpp
  ${CMAKE_CURRENT_LIST_DIR}/make_transitions.cpp)
target_include_directories(zemtool_make PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zemtool_make PUBLIC zem_foundation zem_script zem_package zem_resources zem_sound
                      PRIVATE zem_warnings)
