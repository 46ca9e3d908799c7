// find_hard_cases [SAMPLES] > tests/maths/hard_cases.inc
//
// Searches, with GNU MPFR, for the arguments whose exact atan2, sine or
// cosine lies nearest a rounding boundary (the midpoint between two
// doubles), and prints them with their correctly rounded results as a
// table for the tests.
//  - atan2: for midpoints m in every octant, the best rational
//    approximations p/q of tan m with p, q < 2^53 (the continued fraction's
//    convergents) make atan2(p, q) lie within about 1/q^2 of m: some 2^-50
//    units of the last place, far nearer than random arguments come.
//  - sine and cosine: random arguments over the exponents up to 4, keeping
//    the nearest.
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr mpfr_prec_t kBits = 400;

struct Case {
    double y, x;     // atan2's arguments; x alone for sine and cosine
    double expected; // correctly rounded
    double distance; // from the nearest boundary, log2 of units in the last place
};

// log2 of the distance of v from the nearest midpoint, in units of its ulp.
double distance_log2(const mpfr_t v) {
    mpfr_t a;
    mpfr_init2(a, kBits);
    mpfr_abs(a, v, MPFR_RNDN);
    const long e = mpfr_get_exp(a);        // a in [2^(e-1), 2^e)
    mpfr_mul_2si(a, a, 53 - e, MPFR_RNDN); // in [2^52, 2^53): ulps
    mpfr_frac(a, a, MPFR_RNDN);
    mpfr_sub_d(a, a, 0.5, MPFR_RNDN);
    mpfr_abs(a, a, MPFR_RNDN);
    const double d = mpfr_get_d(a, MPFR_RNDN);
    mpfr_clear(a);
    return d == 0 ? -1000 : std::log2(d);
}

double rounded(const mpfr_t v) {
    return mpfr_get_d(v, MPFR_RNDN);
}

void keep_best(std::vector<Case>& cases, std::size_t count) {
    std::sort(cases.begin(), cases.end(),
              [](const Case& a, const Case& b) { return a.distance < b.distance; });
    if (cases.size() > count) cases.resize(count);
}

// Convergents p/q of t > 0 with p, q < 2^53.
std::vector<std::pair<std::uint64_t, std::uint64_t>> convergents(const mpfr_t t) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    mpfr_t r, a;
    mpfr_inits2(kBits, r, a, static_cast<mpfr_ptr>(nullptr));
    mpfr_set(r, t, MPFR_RNDN);
    unsigned long long p0 = 1, q0 = 0, p1 = 0, q1 = 1; // p_{-1}, q_{-1}, p_{-2}, q_{-2}
    constexpr unsigned long long kLimit = 1ull << 53;
    for (int i = 0; i < 80; ++i) {
        mpfr_floor(a, r);
        if (mpfr_cmp_d(a, 1e18) > 0) break;
        const unsigned long long k = mpfr_get_ui(a, MPFR_RNDN);
        const long double pk = static_cast<long double>(k) * p0 + p1;
        const long double qk = static_cast<long double>(k) * q0 + q1;
        if (pk >= kLimit || qk >= kLimit) break;
        const unsigned long long p = k * p0 + p1, q = k * q0 + q1;
        p1 = p0, q1 = q0, p0 = p, q0 = q;
        if (p > 0) out.push_back({p, q});
        mpfr_sub(r, r, a, MPFR_RNDN);
        if (mpfr_zero_p(r)) break;
        mpfr_ui_div(r, 1, r, MPFR_RNDN);
    }
    mpfr_clears(r, a, static_cast<mpfr_ptr>(nullptr));
    return out;
}

std::vector<Case> hard_atan2(int rounds, std::mt19937_64& rng) {
    std::vector<Case> cases;
    mpfr_t m, t, v, y, x;
    mpfr_inits2(kBits, m, t, v, y, x, static_cast<mpfr_ptr>(nullptr));
    for (int round = 0; round < rounds; ++round) {
        // A midpoint in octant 0 to 3 of the upper half plane.
        const int octant = round % 4;
        const double lo = octant * 0.7853981633974483, hi = lo + 0.7853981633974483;
        double theta = std::uniform_real_distribution<double>(lo, hi)(rng);
        if (round % 16 == 0) theta = std::ldexp(1.0 + (rng() % 1000) / 1000.0, -(int)(rng() % 40));
        mpfr_set_d(m, theta, MPFR_RNDN);
        mpfr_set_d(v, std::nextafter(theta, 10.0), MPFR_RNDN);
        mpfr_add(m, m, v, MPFR_RNDN);
        mpfr_div_2ui(m, m, 1, MPFR_RNDN); // exact midpoint
        mpfr_tan(t, m, MPFR_RNDN);
        const bool x_negative = mpfr_sgn(t) < 0;
        mpfr_abs(t, t, MPFR_RNDN);
        for (const auto& [p, q] : convergents(t)) {
            const int scale = static_cast<int>(rng() % 200) - 100;
            const double yd = std::ldexp(static_cast<double>(p), scale);
            const double xd = std::ldexp(static_cast<double>(q), scale) * (x_negative ? -1 : 1);
            const bool below = round % 2 == 1; // the lower half plane too
            mpfr_set_d(y, below ? -yd : yd, MPFR_RNDN);
            mpfr_set_d(x, xd, MPFR_RNDN);
            mpfr_atan2(v, y, x, MPFR_RNDN);
            cases.push_back({below ? -yd : yd, xd, rounded(v), distance_log2(v)});
        }
        if (cases.size() > 4000) keep_best(cases, 200);
    }
    mpfr_clears(m, t, v, y, x, static_cast<mpfr_ptr>(nullptr));
    keep_best(cases, 40);
    return cases;
}

std::vector<Case> hard_sin_cos(long samples, bool cosine, std::mt19937_64& rng) {
    std::vector<Case> cases;
    mpfr_t a, v;
    mpfr_inits2(kBits / 2, a, v, static_cast<mpfr_ptr>(nullptr));
    double worst = 0; // keep only cases nearer than this, once there are enough
    for (long i = 0; i < samples; ++i) {
        double x = std::uniform_real_distribution<double>(-4.0, 4.0)(rng);
        if (i % 4 == 0) x = std::ldexp(x, -static_cast<int>(rng() % 26));
        mpfr_set_d(a, x, MPFR_RNDN);
        cosine ? mpfr_cos(v, a, MPFR_RNDN) : mpfr_sin(v, a, MPFR_RNDN);
        const double d = distance_log2(v);
        if (cases.size() >= 40 && d >= worst) continue;
        cases.push_back({0, x, rounded(v), d});
        if (cases.size() > 400) {
            keep_best(cases, 40);
            worst = cases.back().distance;
        }
    }
    mpfr_clears(a, v, static_cast<mpfr_ptr>(nullptr));
    keep_best(cases, 40);
    return cases;
}

void print(const char* name, const std::vector<Case>& cases, bool two) {
    std::printf("const HardCase %s[] = {\n", name);
    for (const Case& c : cases)
        if (two)
            std::printf("    {%a, %a, %a}, // 2^%.1f ulp\n", c.y, c.x, c.expected, c.distance);
        else
            std::printf("    {0, %a, %a}, // 2^%.1f ulp\n", c.x, c.expected, c.distance);
    std::printf("};\n\n");
}

} // namespace

int main(int argc, char* argv[]) {
    const long samples = argc > 1 ? std::atol(argv[1]) : 4000000;
    std::mt19937_64 rng(20261210);
    std::printf("// Arguments whose exact result lies nearest a rounding boundary, with\n"
                "// the correctly rounded result; the comment gives the distance in units\n"
                "// of the last place. Found by tests/maths/find_hard_cases.cpp (%ld samples).\n\n",
                samples);
    print("kHardAtan2", hard_atan2(static_cast<int>(samples / 1000), rng), true);
    print("kHardSin", hard_sin_cos(samples, false, rng), false);
    print("kHardCos", hard_sin_cos(samples, true, rng), false);
    return 0;
}
