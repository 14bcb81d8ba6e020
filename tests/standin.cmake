# Tests of zandorel-share. Most start the server in-process on a free port; a
# few run the program itself to check its command line, output and exit.
add_executable(standin_tests ${CMAKE_CURRENT_LIST_DIR}/standin_tests.cpp)
target_link_libraries(standin_tests PRIVATE zandorel_standin GTest::gtest_main)
target_compile_definitions(standin_tests PRIVATE ZANDOREL_SHARE="$<TARGET_FILE:zandorel-share>")
add_dependencies(standin_tests zandorel-share)
add_test(NAME standin_tests COMMAND standin_tests)
set_tests_properties(standin_tests PROPERTIES TIMEOUT 120)
