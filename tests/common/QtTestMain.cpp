// Test main for tests that need a Qt application object (sockets, timers, widgets).
#include <gtest/gtest.h>

#ifdef DOZIDUVOV_TEST_WIDGETS
#include <QApplication>
#else
#include <QCoreApplication>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef DOZIDUVOV_TEST_WIDGETS
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
