# Command texts of show actions (split, filtered; never run).
zem_add_fuzzer(shell_command_text ${CMAKE_CURRENT_SOURCE_DIR}/shell_command_text_fuzz.cpp zem_shell zem_script zem_foundation)
