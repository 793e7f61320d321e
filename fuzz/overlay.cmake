# The overlay built from an untrusted show script (logo, panel, placement), then driven with
# mouse events, time steps and drawing.
zem_add_fuzzer(overlay_script ${CMAKE_CURRENT_SOURCE_DIR}/overlay_fuzz.cpp zem_engine zem_model zem_script zem_foundation)
