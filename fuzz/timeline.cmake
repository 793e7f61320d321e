# A show script as the time line sees it: timing, transition choice, slide order and lookups.
zem_add_fuzzer(timeline_fuzz ${CMAKE_CURRENT_LIST_DIR}/timeline_fuzz.cpp zem_model)
