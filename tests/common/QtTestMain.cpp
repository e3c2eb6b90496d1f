// Test main for tests that need a Qt application object (sockets, timers, widgets).
#include "common/LocaleCheck.h"

#include <gtest/gtest.h>

#ifdef DOZIDUVOV_TEST_WIDGETS
#include <QApplication>
#elif defined(DOZIDUVOV_TEST_GUI)
#include <QGuiApplication>
#else
#include <QCoreApplication>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // No test needs a display; screenshots are taken by setting the platform explicitly.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef DOZIDUVOV_TEST_WIDGETS
    useGermanLocale();
    QApplication app(argc, argv);
#elif defined(DOZIDUVOV_TEST_GUI)
    useGermanLocale();
    QGuiApplication app(argc, argv);
#else
    useGermanLocale();
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
