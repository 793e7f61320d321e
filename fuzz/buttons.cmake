# Generated pictures (preset masks, shadows, button pictures) from untrusted names, and button themes.
zem_add_fuzzer(model_generated ${CMAKE_CURRENT_SOURCE_DIR}/model_generated_fuzz.cpp zem_model zem_script zem_foundation)
