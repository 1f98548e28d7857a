// The float format picture formatter, rounding and the decimal separator.
#include "core/Numbers.h"
#include "tests/support/GermanNumbers.h"

#include <QChar>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct TFormatCase {
    const char* Picture;
    double Value;
    const char* Expected;
};

class FormatFloatTest : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(FormatFloatTest, FormatsAsThePictureSays) {
    const TFormatCase& c = GetParam();
    EXPECT_EQ(FormatFloat(c.Picture, c.Value).toStdString(), c.Expected)
        << c.Picture << " with " << c.Value;
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, FormatFloatTest,
    ::testing::Values(
        // The pictures in use, with single-precision values as the widgets hold them.
        TFormatCase{"#0.000", 0.982f, "0.982"}, TFormatCase{"0.000", -92.9f, "-92.900"},
        TFormatCase{"0.000", 0, "0.000"}, TFormatCase{"#0.0", 12.34f, "12.3"},
        TFormatCase{"#0.0", 0, "0.0"}, TFormatCase{"#0.00", 0.65f, "0.65"},
        TFormatCase{"#0.00", 1.35f, "1.35"}, TFormatCase{"#0.00", 0.7f, "0.70"},
        TFormatCase{"##0.0", 50, "50.0"}, TFormatCase{"##0", 0.4, "0"},
        TFormatCase{"##0", 1234.6, "1235"}, TFormatCase{"#0.#", 1000.4, "1000.4"},
        TFormatCase{"#0.#", 1000, "1000"}, TFormatCase{"#0.#", 0.04, "0"},
        TFormatCase{"0.000", 1.0005f, "1.000"}, // 1.0005f lies just below the half
        // Exact halves go to the even neighbour.
        TFormatCase{"0.00", 0.125, "0.12"}, TFormatCase{"0.00", 0.375, "0.38"},
        TFormatCase{"##0", 2.5, "2"}, TFormatCase{"##0", 3.5, "4"}, TFormatCase{"##0", -2.5, "-2"},
        // Sections, literals, a value that rounds to zero, exponents.
        TFormatCase{"0.0;(0.0)", -1.26, "(1.3)"}, TFormatCase{"0.0;(0.0);nil", 0.01, "nil"},
        TFormatCase{"0.0;(0.0);nil", -0.01, "nil"}, TFormatCase{"0.0", -0.01, "0.0"},
        TFormatCase{"0.0 'V'", 12.34, "12.3 V"}, TFormatCase{"00.00", 3.14159, "03.14"},
        TFormatCase{"0e-0", 1000, "1e3"}, TFormatCase{"0e-0", 0.01, "1e-2"},
        TFormatCase{"0.00E+00", 12345, "1.23E+04"}, TFormatCase{"0.0E+0", 9.96, "1.0E+1"},
        TFormatCase{"#0.0", std::nan(""), "NAN"}));

TEST(FormatFloat, LargestValueWithManyPlaces) {
    const QString picture = "0." + QString(100, '0');
    const QString text = FormatFloat(picture, std::numeric_limits<double>::max());
    ASSERT_EQ(text.size(), 309 + 1 + 100);
    EXPECT_TRUE(text.startsWith("17976931348623157"));
    EXPECT_EQ(text[309], QChar('.'));
    EXPECT_EQ(text.mid(310), QString(100, '0'));
}

TEST(DecimalSeparator, FollowsTheRegionalSettings) {
    EXPECT_EQ(DecimalSeparator(), QChar('.'));
    WithGermanNumbers([] {
        EXPECT_EQ(DecimalSeparator(), QChar(','));
        EXPECT_EQ(FormatFloat("#0.000", 0.982f), "0,982");
        EXPECT_EQ(FormatFloat("#0.#", 1000), "1000");
    });
    EXPECT_EQ(DecimalSeparator(), QChar('.'));
}

TEST(Round, HalvesGoToTheEvenNeighbour) {
    const std::pair<double, int> cases[] = {{0.5, 0},
                                            {1.5, 2},
                                            {2.5, 2},
                                            {-0.5, 0},
                                            {-1.5, -2},
                                            {-2.5, -2},
                                            {0.49, 0},
                                            {-133642.86, -133643},
                                            {1e20, std::numeric_limits<int>::max()},
                                            {-1e20, std::numeric_limits<int>::min()},
                                            {std::nan(""), 0}};
    for (auto [x, expected] : cases)
        EXPECT_EQ(Round(x), expected) << x;
}

} // namespace
