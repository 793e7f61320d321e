# Video objects, clip records and the frame extractor.
target_sources(zem_model PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/frame_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video_extractor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zem_video.cpp
)
