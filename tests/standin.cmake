# Tests of zandorel-share, one file a module, built into one program. Most
# start the server in-process on a free port; some run zandorel-share itself.
add_executable(standin_tests
    ${CMAKE_CURRENT_LIST_DIR}/standin_fs_tests.cpp ${CMAKE_CURRENT_LIST_DIR}/standin_http_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/standin_page_tests.cpp ${CMAKE_CURRENT_LIST_DIR}/standin_program_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/standin_range_tests.cpp ${CMAKE_CURRENT_LIST_DIR}/standin_text_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/standin_url_tests.cpp)
target_link_libraries(standin_tests PRIVATE zandorel_standin GTest::gtest_main)
target_compile_definitions(standin_tests PRIVATE ZANDOREL_SHARE="$<TARGET_FILE:zandorel-share>"
                                                 ZANDOREL_VERSION="${PROJECT_VERSION}")
add_dependencies(standin_tests zandorel-share)
foreach(module fs http page program range text url)
    string(SUBSTRING ${module} 0 1 first)
    string(TOUPPER ${first} first)
    string(SUBSTRING ${module} 1 -1 rest)
    add_test(NAME standin_${module} COMMAND standin_tests --gtest_filter=Standin${first}${rest}.*)
    # A filter that matches no test (a renamed suite) fails rather than passes.
    set_tests_properties(standin_${module} PROPERTIES TIMEOUT 120 FAIL_REGULAR_EXPRESSION "Running 0 tests")
endforeach()

# The stand-in and the listing tool together.
zandorel_add_test(e2e_tests ${CMAKE_CURRENT_LIST_DIR}/e2e_tests.cpp)
target_link_libraries(e2e_tests PRIVATE zandorel_standin PkgConfig::HTTPLIB)
target_compile_definitions(e2e_tests PRIVATE ZANDOREL_CLI="$<TARGET_FILE:zandorel-cli>")
add_dependencies(e2e_tests zandorel-cli)
