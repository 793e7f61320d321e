# Timed command: the 1080p clip through the frame extractor against "ffmpeg -f null".
zem_add_bench(zem_video_decode_compare SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/video_decode_compare.cpp LIBS zem_video)
target_compile_definitions(zem_video_decode_compare PRIVATE ZEM_TESTDATA_DIR="${ZEM_TESTDATA_DIR}")
