# Script storage: memory and load time of the 100,000-box script (timed command).
zem_add_bench(zem_ini_memory SOURCES ${CMAKE_CURRENT_LIST_DIR}/ini_memory.cpp LIBS zem_script zem_foundation)
