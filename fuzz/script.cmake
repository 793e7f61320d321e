zem_add_fuzzer(script_load ${CMAKE_CURRENT_SOURCE_DIR}/script_load.cpp zem_script)
