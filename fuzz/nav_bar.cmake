# Both navigation bars built from an untrusted theme and driven with mouse events.
zem_add_fuzzer(nav_bar_theme ${CMAKE_CURRENT_SOURCE_DIR}/nav_bar_fuzz.cpp zem_engine zem_resources zem_script zem_foundation)
