# The Windows build's tests, run under Wine: the logic that has no Linux tool in its way. The
# whole-program runs are scripts/windows's (it starts the simulator and the converter under Wine
# and compares their files with the Linux build's).
function(doziduvov_wine_test name main)
    add_executable(${name} ${main} ${ARGN})
    target_link_libraries(${name} PRIVATE doziduvov_core GTest::gtest)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE
        DOZIDUVOV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" DOZIDUVOV_BIN_DIR="${DOZIDUVOV_BIN_DIR}")
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

doziduvov_wine_test(model_tests common/TestMain.cpp
    common/NumberTextTest.cpp
    model/MerkmalTableTest.cpp
    model/ClassificationTest.cpp)
doziduvov_wine_test(statistics_tests common/TestMain.cpp statistics/StatisticsTest.cpp)
doziduvov_wine_test(settings_tests common/TestMain.cpp
    settings/SettingsStoreTest.cpp
    settings/LanguageTest.cpp
    settings/TextTest.cpp)
doziduvov_wine_test(run_tests common/TestMain.cpp
    run/StartOptionsTest.cpp
    run/BatchFileTest.cpp)
