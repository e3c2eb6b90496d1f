// Test main for tests without a Qt application object.
#include "common/LocaleCheck.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    useGermanLocale();
    return RUN_ALL_TESTS();
}
