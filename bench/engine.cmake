# Timed command: the engine's show time against the audio consumed by SDL's dummy driver.
zem_add_bench(zem_engine_clock SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_clock.cpp LIBS zem_engine)
