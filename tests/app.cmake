# The windowed program's tests: real windows of zandorel_ui, driven headless
# with scripted dialogs. Included by CMakeLists.txt when zandorel_ui exists.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(app_tests
    app_support.cpp
    app_support.h
    app_skin_tests.cpp
    app_linklist_tests.cpp
    app_window_tests.cpp
    app_standin_tests.cpp
)
target_link_libraries(app_tests PRIVATE zandorel_ui zandorel_standin Qt6::Test GTest::gtest)
target_compile_definitions(app_tests PRIVATE
    ZANDOREL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    ZANDOREL_CONFIG_FILE="${PROJECT_SOURCE_DIR}/config/ZandorelConfig.xml")
add_test(NAME app_tests COMMAND app_tests)
set_tests_properties(app_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
