# The windowed program's tests: real windows of zandorel_ui, driven headless
# with scripted dialogs. Included by CMakeLists.txt when zandorel_ui exists.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(app_tests
    app_support.cpp
    app_support.h
    app_properties_tests.cpp
    app_layout_tests.cpp
    app_linklist_tests.cpp
    app_remote_tests.cpp
    app_retrieval_tests.cpp
    app_selectall_tests.cpp
    app_skin_tests.cpp
    app_templatelist_tests.cpp
    app_program_tests.cpp
    app_window_tests.cpp
)
target_link_libraries(app_tests PRIVATE zandorel_ui zandorel_standin Qt6::Test GTest::gtest)
# Headless runs show the windows on one screen of a desktop's size.
set(ZANDOREL_TEST_SCREEN ${CMAKE_CURRENT_BINARY_DIR}/app_screen.json)
file(WRITE ${ZANDOREL_TEST_SCREEN}
    "{\"screens\": [{\"name\": \"desktop\", \"x\": 0, \"y\": 0, \"width\": 1400, \"height\": 1000}]}\n")
target_compile_definitions(app_tests PRIVATE
    ZANDOREL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    ZANDOREL_CONFIG_FILE="${PROJECT_SOURCE_DIR}/config/ZandorelConfig.xml"
    ZANDOREL_TEST_SCREEN="${ZANDOREL_TEST_SCREEN}"
    ZANDOREL_PROGRAM="$<TARGET_FILE:Zandorel>")
add_dependencies(app_tests Zandorel)
add_test(NAME app_tests COMMAND app_tests)
set_tests_properties(app_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
