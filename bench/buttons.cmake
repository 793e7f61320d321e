# Drop shadows of a 24-megapixel picture and a 1080p text, the three pictures of a 400-pixel
# button, a slide of 20 shadowed objects built and prepared as the slide loader does.
zem_add_bench(zem_buttons_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/buttons_bench.cpp LIBS zem_model zem_resources zem_script zem_foundation)
target_include_directories(zem_buttons_bench PRIVATE ${ZEM_SOURCE_ROOT}/tests)
