zem_add_bench(zem_sound_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sound_bench.cpp LIBS zem_sound)
target_compile_definitions(zem_sound_bench PRIVATE ZEM_TESTDATA_DIR="${ZEM_TESTDATA_DIR}")
# Timed commands (their own main): MP3 decoding against mpg123 -t, and the clock against the
# audio consumed by SDL's dummy driver.
zem_add_bench(zem_sound_mp3_compare SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sound_mp3_compare.cpp LIBS zem_sound)
target_compile_definitions(zem_sound_mp3_compare PRIVATE ZEM_TESTDATA_DIR="${ZEM_TESTDATA_DIR}")
zem_add_bench(zem_sound_clock_drift SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sound_clock_drift.cpp LIBS zem_sound)
