zem_add_tests(overlay_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/overlay_test.cpp LIBS zem_engine)
zem_add_tests(nav_bars_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/nav_bars_test.cpp LIBS zem_engine zem_resources)
