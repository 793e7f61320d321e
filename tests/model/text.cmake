# zemtool tree over a show with text macros.
if(TARGET zemtool)
  add_test(NAME zemtool_tree_text COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zemtool_tree_text_test.sh $<TARGET_FILE:zemtool>)
  set_tests_properties(zemtool_tree_text PROPERTIES LABELS unit)
endif()
