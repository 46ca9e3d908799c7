#include "maths/angle.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>

namespace textmatte {
namespace {

// Distance in units of the last place between two doubles of one sign.
std::int64_t ulps(double a, double b) {
    std::int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    if (ia < 0) ia = std::numeric_limits<std::int64_t>::min() - ia;
    if (ib < 0) ib = std::numeric_limits<std::int64_t>::min() - ib;
    return ia > ib ? ia - ib : ib - ia;
}

TEST(Angle, ExactValuesOfTheAxesAndDiagonals) {
    EXPECT_EQ(direction_angle(0.0, 30.0), 0.0);
    EXPECT_EQ(direction_angle(30.0, 0.0), std::numbers::pi / 2);
    EXPECT_EQ(direction_angle(-30.0, 0.0), -std::numbers::pi / 2);
    EXPECT_EQ(direction_angle(0.0, -30.0), std::numbers::pi);
    EXPECT_EQ(direction_angle(0.0, 0.0), 0.0);
    EXPECT_EQ(direction_angle(5.0, 5.0), std::numbers::pi / 4);
    double s, c;
    sine_cosine(std::numbers::pi / 2, s, c);
    EXPECT_EQ(s, 1.0);
    EXPECT_EQ(c, 6.123233995736766e-17); // the residue of cos 90 degrees
    sine_cosine(0.0, s, c);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(c, 1.0);
    sine_cosine(std::numbers::pi, s, c);
    EXPECT_EQ(c, -1.0);
    EXPECT_TRUE(std::isnan(direction_angle(std::nan(""), 1.0)));
    EXPECT_EQ(direction_angle(1.0, std::numeric_limits<double>::infinity()), 0.0);
}

// Within one unit of the last place of glibc's (correctly rounded)
// results: the same accuracy, but the same bits on every platform. Other C
// libraries are less accurate, which is why the program has its own.
TEST(Angle, AgreesWithTheCLibrary) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "this C library's atan2, sin and cos are not correctly rounded";
#endif
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> coord(-2000.0, 2000.0);
    std::uniform_int_distribution<int> exponent(-40, 40);
    const long rounds = 300000;
    for (long i = 0; i < rounds; ++i) {
        const double x = std::ldexp(coord(rng), exponent(rng) / 4);
        const double y = i % 7 == 0 ? 0.0 : std::ldexp(coord(rng), exponent(rng) / 4);
        const double theta = direction_angle(y, x);
        ASSERT_LE(ulps(theta, std::atan2(y, x)), 1) << y << " " << x;
        double s, c;
        sine_cosine(theta, s, c);
        if (std::fabs(std::sin(theta)) > 1e-300) {
            ASSERT_LE(ulps(s, std::sin(theta)), 1) << theta;
        }
        if (std::fabs(std::cos(theta)) > 1e-300) {
            ASSERT_LE(ulps(c, std::cos(theta)), 1) << theta;
        }
    }
}

// The same bits everywhere: a hash over the results for many directions,
// from inputs made by integer arithmetic alone, against the value this
// code gives on Linux.
TEST(Angle, GivesTheSameBitsOnEveryPlatform) {
    std::mt19937_64 rng(7);
    std::uint64_t hash = 1469598103934665603ULL;
    auto mix = [&hash](double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        hash = (hash ^ bits) * 1099511628211ULL;
    };
    for (int i = 0; i < 100000; ++i) {
        const double x =
            static_cast<double>(static_cast<std::int64_t>(rng() >> 20) - (1LL << 43)) / 65536.0;
        const double y =
            static_cast<double>(static_cast<std::int64_t>(rng() >> 20) - (1LL << 43)) / 65536.0;
        const double theta = direction_angle(y, x);
        double s, c;
        sine_cosine(theta, s, c);
        mix(theta);
        mix(s);
        mix(c);
    }
    EXPECT_EQ(hash, 7218200805046400138ULL);
}

} // namespace
} // namespace textmatte
