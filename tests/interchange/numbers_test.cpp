#include "interchange/numbers.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace textmatte {
namespace {

std::string fixed(double v, int precision) {
    char buf[kFixedMaxLength];
    return std::string(buf, format_fixed(buf, v, precision));
}

std::string reference_fixed(double v, int precision) {
    char buf[kFixedMaxLength];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    return std::string(buf, r.ptr);
}

TEST(FormatFixed, RoundsTheExactBinaryValueHalfToEven) {
    struct Case {
        double v;
        int precision;
        std::string expected;
    } cases[] = {
        {0.125, 2, "0.12"}, // exact tie, rounds to even
        {0.375, 2, "0.38"}, // exact tie, rounds to even
        {2.5, 0, "2"},
        {3.5, 0, "4"},
        {0.5, 0, "0"},
        {0.1, 20, "0.10000000000000000555"},
        {1.005, 2, "1.00"}, // 1.005 is stored just below the tie
        {-0.0, 6, "-0.000000"},
        {-1e-20, 6, "-0.000000"},
        {5e-324, 12, "0.000000000000"},
        {123456789.123456789, 12, "123456789.123456791043"},
        {1e22, 2, "10000000000000000000000.00"},
        {-7.25, 1, "-7.2"},
        {9.9999999999994, 12, "9.999999999999"},
        {9.9999999999995, 12, "10.000000000000"}, // stored just above the tie
        {0.9999999999999999, 12, "1.000000000000"},
        {4294967296.5, 0, "4294967296"}, // a tie beyond 32 bits
        {9223372036854774784.0, 2, "9223372036854774784.00"},
        {std::ldexp(1.0, -64), 18, "0.000000000000000000"},
        {std::ldexp(3.0, -62), 18, "0.000000000000000001"},
        {std::numeric_limits<double>::infinity(), 6, "inf"},
        {-std::numeric_limits<double>::infinity(), 2, "-inf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fixed(c.v, c.precision), c.expected) << c.v;
    EXPECT_EQ(fixed(std::nan(""), 2), "nan");
}

double random_value(std::mt19937_64& rng, int kind) {
    switch (kind) {
    case 0: { // any bit pattern
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    case 1: return std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
    case 2: // exact ties at many precisions
        return static_cast<double>(static_cast<std::int64_t>(rng() % 2000001) - 1000000) / 8.0;
    case 3:
        return std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(rng),
                          static_cast<int>(rng() % 200) - 130);
    default: { // a decimal with the record's precision, give or take an ulp
        const int p = static_cast<int>(rng() % 13);
        const double v =
            static_cast<double>(static_cast<std::int64_t>(rng() % 20000000001) - 10000000000) /
            std::pow(10.0, p);
        const int step = static_cast<int>(rng() % 3) - 1;
        return step == 0 ? v : std::nextafter(v, step * INFINITY);
    }
    }
}

TEST(FormatFixed, AgreesWithTheStandardLibrary) {
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 400000; ++i) {
        const double v = random_value(rng, i % 5);
        if (!std::isfinite(v)) continue;
        const int p = static_cast<int>(rng() % 19);
        ASSERT_EQ(fixed(v, p), reference_fixed(v, p)) << v << " %." << p << "f";
    }
    // The precisions the records use, at the half-way points of their last
    // digit and one unit in the last place on either side.
    for (int p : {1, 2, 6, 8, 9, 10, 12}) {
        for (int i = 0; i < 20000; ++i) {
            const double tie = (static_cast<double>(rng() % 2000000) + 0.5) / std::pow(10.0, p % 7);
            for (double v : {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)})
                ASSERT_EQ(fixed(v, p), reference_fixed(v, p)) << v << " %." << p << "f";
        }
    }
}

// Where the fast path switches between its cases: values that round to 0 at
// each precision, fractions of exactly 64 bits, integers near 2^32 and 2^63.
TEST(FormatFixed, TheBoundariesOfItsCasesAgreeWithTheStandardLibrary) {
    for (int p = 0; p <= 15; ++p) {
        const double half_unit = 0.5 * std::pow(10.0, -p);
        for (double base : {half_unit, std::ldexp(1.0, -11), std::ldexp(1.0, -12),
                            std::ldexp(1.0, 32) - 0.5, std::ldexp(1.0, 63), 1e15 + 0.5}) {
            double v = base;
            for (int step = 0; step < 4; ++step)
                v = std::nextafter(v, 0.0);
            for (int step = 0; step < 8; ++step, v = std::nextafter(v, 1e300)) {
                ASSERT_EQ(fixed(v, p), reference_fixed(v, p)) << v << " %." << p << "f";
                ASSERT_EQ(fixed(-v, p), reference_fixed(-v, p)) << -v << " %." << p << "f";
            }
        }
    }
}

TEST(FormatIntegers, DecimalUnsignedAndHexadecimal) {
    auto text = [](char* begin, char* end) { return std::string(begin, end); };
    char buf[kIntegerMaxLength];
    EXPECT_EQ(text(buf, format_decimal(buf, INT_MIN)), "-2147483648");
    EXPECT_EQ(text(buf, format_decimal(buf, 0)), "0");
    EXPECT_EQ(text(buf, format_unsigned(buf, UINT_MAX)), "4294967295");
    EXPECT_EQ(text(buf, format_hex(buf, 0xffffffffu, 6)), "ffffffff");
    EXPECT_EQ(text(buf, format_hex(buf, 0xff, 6)), "0000ff");
    EXPECT_EQ(text(buf, format_hex(buf, 0x1234567, 6)), "1234567");
    EXPECT_EQ(text(buf, format_hex(buf, 20, 1)), "14");
}

} // namespace
} // namespace textmatte
