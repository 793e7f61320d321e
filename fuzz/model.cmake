# Show model: slide trees built from untrusted scripts, and speed-profile texts.
zem_add_fuzzer(model_tree ${CMAKE_CURRENT_SOURCE_DIR}/model_tree_fuzz.cpp zem_model zem_script zem_foundation)
zem_add_fuzzer(model_profile ${CMAKE_CURRENT_SOURCE_DIR}/model_profile_fuzz.cpp zem_model zem_foundation)
