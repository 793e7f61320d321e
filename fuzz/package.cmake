# Show package readers: the trailer and file table, and member reading.
zem_add_fuzzer(zem_fuzz_package_table ${CMAKE_CURRENT_SOURCE_DIR}/package_table_fuzz.cpp zem_package zem_script)
zem_add_fuzzer(zem_fuzz_package_member ${CMAKE_CURRENT_SOURCE_DIR}/package_member_fuzz.cpp zem_package zem_script)
target_include_directories(zem_fuzz_package_table PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_include_directories(zem_fuzz_package_member PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
zem_add_fuzzer(zem_fuzz_package_verify ${CMAKE_CURRENT_SOURCE_DIR}/package_verify_fuzz.cpp zem_package zem_script)
target_include_directories(zem_fuzz_package_verify PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
