// The direction functions on every platform: values C99 Annex F fixes,
// the hardest arguments found (their exact results lie within 2^-16 to
// 2^-69 units in the last place of a rounding boundary), and the tables,
// checked against the program's own exact arithmetic.
#include "maths/directions.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "maths/precise.hpp"
#include "maths/tables.hpp"

namespace textmatte::maths {
namespace {

struct HardCase {
    double y, x, expected;
};
#include "maths/hard_cases.inc"

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 0x1.921fb54442d18p+1;
constexpr double kHalfPi = 0x1.921fb54442d18p+0;

// Equal bits: tells -0 from +0, and any NaN matches any NaN.
::testing::AssertionResult same(double got, double want) {
    if ((std::isnan(got) && std::isnan(want)) ||
        std::bit_cast<std::uint64_t>(got) == std::bit_cast<std::uint64_t>(want))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hexfloat << got << " instead of " << want;
}

TEST(Atan2, ZerosInfinitiesAndNaNAsAnnexFSays) {
    struct Case {
        double y, x, expected;
    } cases[] = {
        {0.0, 0.0, 0.0},
        {-0.0, 0.0, -0.0},
        {0.0, -0.0, kPi},
        {-0.0, -0.0, -kPi},
        {0.0, -5.0, kPi},
        {-0.0, -5.0, -kPi},
        {0.0, 5.0, 0.0},
        {-0.0, 5.0, -0.0},
        {5.0, 0.0, kHalfPi},
        {-5.0, -0.0, -kHalfPi},
        {5.0, -kInf, kPi},
        {-5.0, -kInf, -kPi},
        {5.0, kInf, 0.0},
        {-5.0, kInf, -0.0},
        {kInf, 5.0, kHalfPi},
        {-kInf, -5.0, -kHalfPi},
        {kInf, -kInf, 0x1.2d97c7f3321d2p+1},
        {-kInf, kInf, -0x1.921fb54442d18p-1},
        {5.0, 5.0, 0x1.921fb54442d18p-1},
        // Ratios beyond 2^60: t itself, pi/2 or pi.
        {0x1p-1000, 0x1p+100, 0.0},
        {0x3p-1074, 2.0, 0x1p-1074}, // t is half-way: atan t lies below it
        {0x5p-1074, 2.0, 0x2p-1074},
        {0x1p-70, 1.0, 0x1p-70},
        {1.0, 0x1p-70, kHalfPi},
        {0x1p-70, -1.0, kPi},
        {1.0, -0x1p-70, kHalfPi},
        {std::nan(""), 1.0, std::nan("")},
        {1.0, std::nan(""), std::nan("")},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(same(atan2(c.y, c.x), c.expected)) << std::hexfloat << c.y << ", " << c.x;
}

TEST(SinCos, TinyAndSpecialArguments) {
    for (double x : {0.0, -0.0, 0x1p-1074, -0x1p-30, 0x1.fffffffffffffp-28}) {
        EXPECT_TRUE(same(sin(x), x)) << x;
        EXPECT_TRUE(same(cos(x), 1.0)) << x;
    }
    EXPECT_TRUE(same(sin(0x1.fffffffffffffp-27), 0x1.fffffffffffffp-27));
    EXPECT_TRUE(same(cos(0x1.fffffffffffffp-27), 0x1.fffffffffffffp-1)); // 1 - 2^-53
    EXPECT_TRUE(same(sin(kPi), 0x1.1a62633145c07p-53));
    EXPECT_TRUE(same(cos(kHalfPi), 0x1.1a62633145c07p-54));
    EXPECT_TRUE(same(cos(kPi), -1.0));
    EXPECT_TRUE(std::isnan(sin(kInf)));
    EXPECT_TRUE(std::isnan(cos(std::nan(""))));
}

TEST(Directions, TheHardestArgumentsFound) {
    for (const HardCase& c : kHardAtan2)
        EXPECT_TRUE(same(atan2(c.y, c.x), c.expected)) << std::hexfloat << c.y << ", " << c.x;
    for (const HardCase& c : kHardSin)
        EXPECT_TRUE(same(sin(c.x), c.expected)) << std::hexfloat << c.x;
    for (const HardCase& c : kHardCos)
        EXPECT_TRUE(same(cos(c.x), c.expected)) << std::hexfloat << c.x;
}

// Each table entry is hi + lo of its exact value, recomputed here with
// 608 fraction bits.
TEST(Directions, TablesHoldTheirValues) {
    constexpr int kLimbs = 20;
    auto check = [](const DoubleDouble& entry, const precise::Fixed& exact, const char* what,
                    int j) {
        const DoubleDouble d = precise::round_to_double_double(exact);
        EXPECT_TRUE(same(entry.hi, d.hi)) << what << " " << j;
        EXPECT_TRUE(same(entry.lo, d.lo)) << what << " " << j;
    };
    const auto step = [](int j) { return j / static_cast<double>(tables::kSteps); };
    for (int j = 0; j < tables::kAtanEntries; ++j)
        check(tables::kAtan[j], precise::atan_value(step(j), kLimbs), "atan", j);
    for (int j = 0; j < tables::kSinCosEntries; ++j) {
        check(tables::kSin[j], precise::sin_value(step(j), kLimbs), "sin", j);
        check(tables::kCos[j], precise::cos_value(step(j), kLimbs), "cos", j);
    }
    const precise::Fixed pi = precise::pi(kLimbs);
    check(tables::kPi, pi, "pi", 0);
    check(tables::kHalfPi, precise::shift_right(pi, 1), "pi/2", 0);
    // The parts of pi/2 add up to it within 2^-150.
    precise::Fixed rest = precise::shift_right(pi, 1);
    for (double part : tables::kHalfPiParts)
        rest = precise::subtract(rest, precise::from_double(part, kLimbs));
    EXPECT_LT(std::fabs(precise::round_to_double(rest)), 0x1p-150);
}

} // namespace
} // namespace textmatte::maths
