// Machine numbers in the locale our users run: de_DE.UTF-8, where the C library's own conversions
// read and write a decimal comma.
#include "common/NumberText.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QLocale>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

using namespace common::number;

TEST(NumberText, RunsUnderADecimalComma) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the test main sets a German locale";
}

TEST(NumberText, ParsesWholeTextsWithAPoint) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"25.0123456", 25.0123456},
        {"-0.000015", -0.000015},
        {"1e-7", 1e-7},
        {"34.199999999999996", 34.199999999999996},
        {"7", 7.0},
        {"25,01", std::nullopt},
        {"", std::nullopt},
        {"1.5x", std::nullopt},
        {"inf", std::nullopt},
        {"1e999", std::nullopt},
        {" 1", std::nullopt},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parse(std::string_view(text)), value) << text;
        EXPECT_EQ(parse(QString::fromLatin1(text)), value) << text;
    }
}

TEST(NumberText, WritesWithAPoint) {
    const std::pair<double, const char*> cell[] = {
        {0.0, "0"},         {-0.0, "0"},       {10.012, "10.012"},     {-12345.678, "-12345.678"},
        {0.1 + 0.2, "0.3"}, {1e-5, "0.00001"}, {123.0, "123"},         {999999999.99999, "999999999.99999"},
        {9e-6, "9e-06"},    {1e9, "1e+09"},    {0.123456, "0.123456"}, {1.0 / 3, "0.3333333333333333"},
    };
    for (const auto& [value, text] : cell) {
        char buffer[32];
        EXPECT_EQ(std::string(buffer, writeCellNumber(buffer, value)), text) << value;
    }
    EXPECT_EQ(shortest(34.2), "34.2"); // a column width, not 34.199999999999996
    EXPECT_EQ(shortestText(-25.0123456), QStringLiteral("-25.0123456"));
    char buffer[32];
    EXPECT_EQ(std::string(buffer, writeFiveDecimals(buffer, 25.01235, ',')), "25,01235");
    EXPECT_EQ(writeFiveDecimals(buffer, 25.0123456), 0); // more than five decimals: not this form
    // Without an exponent, as Qt's shortest 'f' writes it; 0 where only Qt's own padding is right.
    const std::pair<double, const char*> fixed[] = {
        {-0.0, "0"}, {1e-7, "0.0000001"}, {-25.01235, "-25.01235"}, {1e15, "1000000000000000"},
        {1e16, ""},  {1e-40, ""},
    };
    for (const auto& [value, text] : fixed) {
        const int n = writeShortestFixed(buffer, value);
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), text) << value;
        if (n > 0) {
            EXPECT_EQ(QByteArray(buffer, n), QByteArray::number(value, 'f', QLocale::FloatingPointShortest));
        }
    }
}

TEST(NumberText, RoundsTheDecimalTheValueStandsFor) {
    struct Case {
        double in;
        int decimals;
        double out;
    };
    const Case cases[] = {
        {25.0123456, 5, 25.01235},
        {1.000005, 5, 1.00001},
        {-0.000015, 5, -0.00002},
        {10.123454, 5, 10.12345},
        {0.999995, 5, 1.0},
        {-9.999995, 5, -10.0},
        {2.5, 5, 2.5},
        {0.1 + 0.2, 5, 0.3},
        {1e-9, 5, 0.0},
        {123456.7890149, 5, 123456.78901},
        // Three decimals, as the online protocol shows its values.
        {0.03644, 3, 0.036},
        {0.5005, 3, 0.501},
        {-0.5005, 3, -0.501},
        {2.0004999, 3, 2.0},
        {9.9995, 3, 10.0},
        {1.25, 3, 1.25},
    };
    for (const Case& c : cases)
        EXPECT_EQ(roundDecimal(c.in, c.decimals), c.out) << c.in << " to " << c.decimals;
    EXPECT_TRUE(std::isnan(roundDecimal(std::numeric_limits<double>::quiet_NaN(), 5)));
    EXPECT_EQ(round15(0.1 + 0.2), 0.3);
    EXPECT_EQ(round15(std::numeric_limits<double>::max()), std::numeric_limits<double>::max());
}
