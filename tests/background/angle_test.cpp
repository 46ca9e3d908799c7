#include "background/angle.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
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
    EXPECT_EQ(direction_angle(30.0, 0.0), M_PI / 2);
    EXPECT_EQ(direction_angle(-30.0, 0.0), -M_PI / 2);
    EXPECT_EQ(direction_angle(0.0, -30.0), M_PI);
    EXPECT_EQ(direction_angle(0.0, 0.0), 0.0);
    EXPECT_EQ(direction_angle(5.0, 5.0), M_PI / 4);
    double s, c;
    sine_cosine(M_PI / 2, s, c);
    EXPECT_EQ(s, 1.0);
    EXPECT_EQ(c, 6.123233995736766e-17); // the residue of cos 90 degrees
    sine_cosine(0.0, s, c);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(c, 1.0);
    sine_cosine(M_PI, s, c);
    EXPECT_EQ(c, -1.0);
    EXPECT_TRUE(std::isnan(direction_angle(std::nan(""), 1.0)));
    EXPECT_EQ(direction_angle(1.0, std::numeric_limits<double>::infinity()), 0.0);
}

// Within one unit of the last place of the C library's (correctly rounded)
// results: the same accuracy, but the same bits on every platform.
TEST(Angle, AgreesWithTheCLibrary) {
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

} // namespace
} // namespace textmatte
