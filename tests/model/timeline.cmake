# The zemtool "timeline" command, run as a program against a hand-computed time line.
add_test(NAME zemtool.timeline
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/timeline_zemtool_test.sh $<TARGET_FILE:zemtool>)
set_tests_properties(zemtool.timeline PROPERTIES LABELS unit)
