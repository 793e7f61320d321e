# Timed command: the anchor show exported by the player against the ffmpeg xfade recipe.
if(TARGET zem_demogen AND TARGET zemviewer)
  zem_add_bench(zem_export_vs_xfade SOURCES ${CMAKE_CURRENT_LIST_DIR}/export_vs_xfade.cpp LIBS zem_demogen)
  target_compile_definitions(zem_export_vs_xfade PRIVATE ZEMVIEWER_PATH="$<TARGET_FILE:zemviewer>")
  add_dependencies(zem_export_vs_xfade zemviewer)
endif()
