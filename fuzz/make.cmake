# zemtool make reads picture headers of untrusted files.
if(TARGET zemtool_make)
  zem_add_fuzzer(make_probe ${CMAKE_CURRENT_SOURCE_DIR}/make_probe_fuzz.cpp zemtool_make)
endif()
