zem_add_tests(overlay_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/overlay_test.cpp LIBS zem_engine)
