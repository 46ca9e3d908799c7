// The direction functions against GNU MPFR: at least a million random
// arguments per function, over the exponents that occur and the bit
// patterns of every kind; the fast step's error against its proven bound;
// and the exact side's error against the bound its rounding relies on.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "maths/directions.hpp"
#include "maths/fast.hpp"
#include "maths/precise.hpp"

namespace textmatte::maths {
namespace {

// An MPFR number that frees itself.
struct Real {
    explicit Real(mpfr_prec_t bits = 53) { mpfr_init2(v, bits); }
    ~Real() { mpfr_clear(v); }
    Real(const Real&) = delete;
    Real& operator=(const Real&) = delete;
    mpfr_t v;
};

// MPFR's correctly rounded results, with the subnormal range of doubles.
class Reference : public ::testing::Test {
  protected:
    void SetUp() override {
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
    }
    void TearDown() override {
        mpfr_set_emin(mpfr_get_emin_min());
        mpfr_set_emax(mpfr_get_emax_max());
    }
    static double rounded(Real& r, int ternary) {
        mpfr_subnormalize(r.v, ternary, MPFR_RNDN);
        return mpfr_get_d(r.v, MPFR_RNDN);
    }
    static double atan2_of(double y, double x) {
        Real a, b, r;
        mpfr_set_d(a.v, y, MPFR_RNDN);
        mpfr_set_d(b.v, x, MPFR_RNDN);
        return rounded(r, mpfr_atan2(r.v, a.v, b.v, MPFR_RNDN));
    }
    static double sin_of(double x) {
        Real a, r;
        mpfr_set_d(a.v, x, MPFR_RNDN);
        return rounded(r, mpfr_sin(r.v, a.v, MPFR_RNDN));
    }
    static double cos_of(double x) {
        Real a, r;
        mpfr_set_d(a.v, x, MPFR_RNDN);
        return rounded(r, mpfr_cos(r.v, a.v, MPFR_RNDN));
    }
};

bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) ||
           std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

double any_bits(std::mt19937_64& rng) {
    return std::bit_cast<double>(static_cast<std::uint64_t>(rng()));
}

// A coordinate or vector component as drawings have them, and beyond.
double component(std::mt19937_64& rng, int kind) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    switch (kind) {
    case 0: return unit(rng) * 2000.0;
    case 1: return std::ldexp(unit(rng), static_cast<int>(rng() % 80) - 40);
    case 2: return std::ldexp(unit(rng), static_cast<int>(rng() % 2100) - 1074);
    case 3: return static_cast<double>(static_cast<std::int64_t>(rng() % 4001) - 2000) / 8.0;
    default: return any_bits(rng);
    }
}

TEST_F(Reference, Atan2OnAMillionPairs) {
    std::mt19937_64 rng(101);
    long wrong = 0;
    for (long i = 0; i < 1000000; ++i) {
        const int kind = static_cast<int>(i % 5);
        const double y = component(rng, kind), x = component(rng, (kind + i / 5) % 5);
        const double want = atan2_of(y, x);
        if (!same(atan2(y, x), want) && ++wrong <= 5)
            ADD_FAILURE() << std::hexfloat << "atan2(" << y << ", " << x << ") should be " << want;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Reference, SineAndCosineOnAMillionArguments) {
    std::mt19937_64 rng(202);
    std::uniform_real_distribution<double> angle(-4.0, 4.0);
    long wrong = 0;
    for (long i = 0; i < 1000000; ++i) {
        double x = angle(rng);
        if (i % 3 == 1) x = std::ldexp(x, -static_cast<int>(rng() % 60)); // down to 2^-60
        if (i % 97 == 0) x = any_bits(rng);
        if (!(std::fabs(x) <= 4.0) && !std::isnan(x) && !std::isinf(x)) continue;
        double s, c;
        sin_cos(x, s, c);
        const double want_s = sin_of(x), want_c = cos_of(x);
        if (!same(s, want_s) && ++wrong <= 5)
            ADD_FAILURE() << std::hexfloat << "sin(" << x << ") should be " << want_s;
        if (!same(c, want_c) && ++wrong <= 5)
            ADD_FAILURE() << std::hexfloat << "cos(" << x << ") should be " << want_c;
        if (!same(sin(x), s) || !same(cos(x), c)) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
}

// log2 of |hi + lo - exact| / |exact|.
double relative_error_log2(const DoubleDouble& v, const Real& exact) {
    Real d(400);
    mpfr_set_d(d.v, v.hi, MPFR_RNDN);
    mpfr_add_d(d.v, d.v, v.lo, MPFR_RNDN);
    mpfr_sub(d.v, d.v, exact.v, MPFR_RNDN);
    mpfr_div(d.v, d.v, exact.v, MPFR_RNDN);
    const double e = std::fabs(mpfr_get_d(d.v, MPFR_RNDN));
    return e == 0 ? -400 : std::log2(e);
}

// The fast step stays within the bound its comment derives (2^-68.5; the
// rounding test allows 2^-66).
TEST_F(Reference, TheFastStepStaysWithinItsBound) {
    std::mt19937_64 rng(303);
    double worst_atan = -400, worst_sin = -400, worst_cos = -400;
    Real exact(400);
    for (int i = 0; i < 200000; ++i) {
        double t = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        if (i % 4 == 0) t = std::ldexp(t, -static_cast<int>(rng() % 60));
        if (t >= 0x1p-61) {
            mpfr_set_d(exact.v, t, MPFR_RNDN);
            mpfr_atan(exact.v, exact.v, MPFR_RNDN);
            worst_atan = std::max(worst_atan, relative_error_log2(fast::atan(t, 0.0), exact));
        }
        double x = std::uniform_real_distribution<double>(-4.0, 4.0)(rng);
        if (i % 3 == 0) x = std::ldexp(x, -static_cast<int>(rng() % 25));
        if (std::fabs(x) < 0x1p-27) continue;
        DoubleDouble s, c;
        fast::sin_cos(x, s, c);
        Real xr(400);
        mpfr_set_d(xr.v, x, MPFR_RNDN);
        mpfr_sin(exact.v, xr.v, MPFR_RNDN);
        worst_sin = std::max(worst_sin, relative_error_log2(s, exact));
        mpfr_cos(exact.v, xr.v, MPFR_RNDN);
        worst_cos = std::max(worst_cos, relative_error_log2(c, exact));
    }
    EXPECT_LT(worst_atan, -68.5);
    EXPECT_LT(worst_sin, -68.5);
    EXPECT_LT(worst_cos, -68.5);
}

// |v - exact| in units of v's last fraction bit.
double units_off(const precise::Fixed& v, const Real& exact) {
    Real d(2000), w(2000);
    mpfr_set_ui(d.v, 0, MPFR_RNDN);
    for (int i = v.limbs - 1; i >= 0; --i) { // the limbs as a signed integer
        mpfr_mul_2ui(d.v, d.v, 32, MPFR_RNDN);
        mpfr_add_ui(d.v, d.v, v.limb[i], MPFR_RNDN);
    }
    if (precise::is_negative(v)) {
        mpfr_set_ui(w.v, 1, MPFR_RNDN);
        mpfr_mul_2ui(w.v, w.v, 32 * v.limbs, MPFR_RNDN);
        mpfr_sub(d.v, d.v, w.v, MPFR_RNDN);
    }
    mpfr_div_2ui(d.v, d.v, precise::fraction_bits(v.limbs), MPFR_RNDN);
    mpfr_sub(d.v, d.v, exact.v, MPFR_RNDN);
    mpfr_mul_2ui(d.v, d.v, precise::fraction_bits(v.limbs), MPFR_RNDN);
    return std::fabs(mpfr_get_d(d.v, MPFR_RNDN));
}

// The exact side stays within 2^24 units of its last bit, the bound its
// rounding relies on, at every precision it uses.
TEST(ExactSide, StaysWithinItsBound) {
    std::mt19937_64 rng(404);
    double worst = 0;
    for (int limbs : {8, 12, 20, 40}) {
        Real exact(1500);
        mpfr_const_pi(exact.v, MPFR_RNDN);
        worst = std::max(worst, units_off(precise::pi(limbs), exact));
        for (int i = 0; i < 60; ++i) {
            const double t = std::ldexp(std::uniform_real_distribution<double>(0.5, 1.0)(rng),
                                        -static_cast<int>(rng() % 62));
            Real tr(1500);
            mpfr_set_d(tr.v, t, MPFR_RNDN);
            mpfr_atan(exact.v, tr.v, MPFR_RNDN);
            worst = std::max(worst, units_off(precise::atan_value(t, limbs), exact));
            const double x = std::uniform_real_distribution<double>(-4.0, 4.0)(rng);
            mpfr_set_d(tr.v, x, MPFR_RNDN);
            mpfr_sin(exact.v, tr.v, MPFR_RNDN);
            worst = std::max(worst, units_off(precise::sin_value(x, limbs), exact));
            mpfr_cos(exact.v, tr.v, MPFR_RNDN);
            worst = std::max(worst, units_off(precise::cos_value(x, limbs), exact));
        }
    }
    EXPECT_LT(worst, 0x1p20) << worst;
}

} // namespace
} // namespace textmatte::maths
