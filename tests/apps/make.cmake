# zemtool make: its pieces (unit), the command over a folder of test photos (apps), and the made
# show in a window (window).
if(TARGET zemtool_make)
  zem_add_tests(zem_make_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/make_test.cpp LIBS zemtool_make zem_model)
endif()
if(TARGET zemtool)
  add_test(NAME apps_make COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_test.sh $<TARGET_FILE:zemtool> ${ZEM_TESTDATA_DIR})
  set_tests_properties(apps_make PROPERTIES LABELS apps TIMEOUT 120)
endif()
if(TARGET zemtool AND TARGET zemviewer)
  add_test(NAME apps_make_snapshots
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_snapshot_test.sh $<TARGET_FILE:zemtool> $<TARGET_FILE:zemviewer>
                   ${ZEM_TESTDATA_DIR})
  set_tests_properties(apps_make_snapshots PROPERTIES LABELS apps TIMEOUT 180 SKIP_RETURN_CODE 77
                       ENVIRONMENT "SDL_VIDEODRIVER=offscreen;SDL_AUDIODRIVER=dummy")
  add_test(NAME window_make_show
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_window_test.sh $<TARGET_FILE:zemtool> $<TARGET_FILE:zemviewer>
                   ${ZEM_TESTDATA_DIR})
  set_tests_properties(window_make_show PROPERTIES LABELS window SKIP_RETURN_CODE 77 TIMEOUT 60)
endif()
