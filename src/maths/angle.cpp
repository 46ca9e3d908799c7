// The direction of a text: atan2 and the sine and cosine of the result.
//
// These are the classic freely distributable routines (argument reduction,
// polynomial kernels and arctangent with the usual tables), written out here
// so that every platform computes the same bits: the C runtimes of Linux and
// Windows differ in the last place now and then, and a box corner printed
// with twelve decimals would show it. Plain IEEE double arithmetic only.
#include "maths/angle.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace textmatte {

namespace {

std::int32_t high_word(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<std::int32_t>(bits >> 32);
}

std::uint32_t low_word(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<std::uint32_t>(bits);
}

double from_words(std::uint32_t high, std::uint32_t low) {
    const std::uint64_t bits = (static_cast<std::uint64_t>(high) << 32) | low;
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// --- arctangent -----------------------------------------------------------

const double kAtanHi[] = {
    4.63647609000806093515e-01, // atan(0.5)
    7.85398163397448278999e-01, // atan(1.0)
    9.82793723247329054082e-01, // atan(1.5)
    1.57079632679489655800e+00, // atan(inf)
};
const double kAtanLo[] = {
    2.26987774529616870924e-17,
    3.06161699786838301793e-17,
    1.39033110312309984516e-17,
    6.12323399573676603587e-17,
};
const double kAtanPoly[] = {
    3.33333333333329318027e-01,  -1.99999999998764832476e-01, 1.42857142725034663711e-01,
    -1.11111104054623557880e-01, 9.09088713343650656196e-02,  -7.69187620504482999495e-02,
    6.66107313738753120669e-02,  -5.83357013379057348645e-02, 4.97687799461593236017e-02,
    -3.65315727442169155270e-02, 1.62858201153657823623e-02,
};

double arctan(double x) {
    const std::int32_t hx = high_word(x);
    const std::int32_t ix = hx & 0x7fffffff;
    int id;
    if (ix >= 0x44100000) {                                                          // |x| >= 2^66
        if (ix > 0x7ff00000 || (ix == 0x7ff00000 && low_word(x) != 0)) return x + x; // NaN
        return hx > 0 ? kAtanHi[3] + kAtanLo[3] : -kAtanHi[3] - kAtanLo[3];
    }
    if (ix < 0x3fdc0000) {             // |x| < 0.4375
        if (ix < 0x3e200000) return x; // |x| < 2^-29
        id = -1;
    } else {
        x = std::fabs(x);
        if (ix < 0x3ff30000) {     // |x| < 1.1875
            if (ix < 0x3fe60000) { // 7/16 <= |x| < 11/16
                id = 0;
                x = (2.0 * x - 1.0) / (2.0 + x);
            } else { // 11/16 <= |x| < 19/16
                id = 1;
                x = (x - 1.0) / (x + 1.0);
            }
        } else if (ix < 0x40038000) { // |x| < 2.4375
            id = 2;
            x = (x - 1.5) / (1.0 + 1.5 * x);
        } else { // 2.4375 <= |x| < 2^66
            id = 3;
            x = -1.0 / x;
        }
    }
    const double z = x * x;
    const double w = z * z;
    const double* a = kAtanPoly;
    const double s1 = z * (a[0] + w * (a[2] + w * (a[4] + w * (a[6] + w * (a[8] + w * a[10])))));
    const double s2 = w * (a[1] + w * (a[3] + w * (a[5] + w * (a[7] + w * a[9]))));
    if (id < 0) return x - x * (s1 + s2);
    const double r = kAtanHi[id] - ((x * (s1 + s2) - kAtanLo[id]) - x);
    return hx < 0 ? -r : r;
}

constexpr double kTiny = 1.0e-300;
constexpr double kPiOver4 = 7.8539816339744827900e-01;
constexpr double kPiOver2 = 1.5707963267948965580e+00;
constexpr double kPi = 3.1415926535897931160e+00;
constexpr double kPiLo = 1.2246467991473531772e-16;

// --- sine and cosine kernels on [-pi/4, pi/4], x + y the argument ----------

double kernel_sin(double x, double y, bool tail) {
    constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                     S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                     S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
    const std::int32_t ix = high_word(x) & 0x7fffffff;
    if (ix < 0x3e400000) return x; // |x| < 2^-27
    const double z = x * x;
    const double v = z * x;
    const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    if (!tail) return x + v * (S1 + z * r);
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

double kernel_cos(double x, double y) {
    constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                     C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                     C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;
    const std::int32_t ix = high_word(x) & 0x7fffffff;
    if (ix < 0x3e400000) return 1.0; // |x| < 2^-27
    const double z = x * x;
    const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    if (ix < 0x3fd33333) return 1.0 - (0.5 * z - (z * r - x * y)); // |x| < 0.3
    const double qx =
        ix > 0x3fe90000 ? 0.28125 : from_words(static_cast<std::uint32_t>(ix - 0x00200000), 0);
    const double hz = 0.5 * z - qx;
    const double a = 1.0 - qx;
    return a - (hz - (z * r - x * y));
}

// Reduces x, |x| > pi/4, to y[0] + y[1] in [-pi/4, pi/4] and returns the
// quadrant; valid for |x| up to 2^19 * pi/2, far beyond this program's angles.
int reduce(double x, double y[2]) {
    constexpr double kInvPiOver2 = 6.36619772367581382433e-01;
    constexpr double P1 = 1.57079632673412561417e+00, P1t = 6.07710050650619224932e-11;
    constexpr double P2 = 6.07710050630396597660e-11, P2t = 2.02226624879595063154e-21;
    constexpr double P3 = 2.02226624871116645580e-21, P3t = 8.47842766036889956997e-32;
    const std::int32_t hx = high_word(x);
    const std::int32_t ix = hx & 0x7fffffff;
    const double t = std::fabs(x);
    const int n = static_cast<int>(t * kInvPiOver2 + 0.5);
    const double fn = static_cast<double>(n);
    double r = t - fn * P1;
    double w = fn * P1t;
    const int j = ix >> 20;
    y[0] = r - w;
    if (j - ((high_word(y[0]) >> 20) & 0x7ff) > 16) { // cancellation: second step
        double u = r;
        w = fn * P2;
        r = u - w;
        w = fn * P2t - ((u - r) - w);
        y[0] = r - w;
        if (j - ((high_word(y[0]) >> 20) & 0x7ff) > 49) { // third step
            u = r;
            w = fn * P3;
            r = u - w;
            w = fn * P3t - ((u - r) - w);
            y[0] = r - w;
        }
    }
    y[1] = (r - y[0]) - w;
    if (hx < 0) {
        y[0] = -y[0];
        y[1] = -y[1];
        return -n;
    }
    return n;
}

} // namespace

double direction_angle(double y, double x) {
    const std::int32_t hx = high_word(x), hy = high_word(y);
    const std::int32_t ix = hx & 0x7fffffff, iy = hy & 0x7fffffff;
    const std::uint32_t lx = low_word(x), ly = low_word(y);
    if (std::isnan(x) || std::isnan(y)) return x + y;
    if (hx == 0x3ff00000 && lx == 0) return arctan(y); // x = 1
    const int m = ((hy >> 31) & 1) | ((hx >> 30) & 2); // 2 * sign(x) + sign(y)
    if ((iy | ly) == 0) {                              // y = 0
        switch (m) {
        case 0:
        case 1: return y;
        case 2: return kPi + kTiny;
        default: return -kPi - kTiny;
        }
    }
    if ((ix | lx) == 0) return hy < 0 ? -kPiOver2 - kTiny : kPiOver2 + kTiny; // x = 0
    if (ix == 0x7ff00000) {                                                   // x infinite
        if (iy == 0x7ff00000) {
            switch (m) {
            case 0: return kPiOver4 + kTiny;
            case 1: return -kPiOver4 - kTiny;
            case 2: return 3.0 * kPiOver4 + kTiny;
            default: return -3.0 * kPiOver4 - kTiny;
            }
        }
        switch (m) {
        case 0: return 0.0;
        case 1: return -0.0;
        case 2: return kPi + kTiny;
        default: return -kPi - kTiny;
        }
    }
    if (iy == 0x7ff00000) return hy < 0 ? -kPiOver2 - kTiny : kPiOver2 + kTiny; // y infinite
    const int k = (iy - ix) >> 20;
    double z;
    if (k > 60)
        z = kPiOver2 + 0.5 * kPiLo; // |y/x| > 2^60
    else if (hx < 0 && k < -60)
        z = 0.0; // |y|/x < -2^60
    else
        z = arctan(std::fabs(y / x));
    switch (m) {
    case 0: return z;
    case 1: return -z;
    case 2: return kPi - (z - kPiLo);
    default: return (z - kPiLo) - kPi;
    }
}

void sine_cosine(double angle, double& s, double& c) {
    if (!std::isfinite(angle) || std::fabs(angle) > 8.0e5) {
        s = std::sin(angle); // never an angle of a direction vector
        c = std::cos(angle);
        return;
    }
    if ((high_word(angle) & 0x7fffffff) <= 0x3fe921fb) { // |angle| <= pi/4: no reduction
        s = kernel_sin(angle, 0.0, false);
        c = kernel_cos(angle, 0.0);
        return;
    }
    double y[2];
    switch (reduce(angle, y) & 3) {
    case 0:
        s = kernel_sin(y[0], y[1], true);
        c = kernel_cos(y[0], y[1]);
        break;
    case 1:
        s = kernel_cos(y[0], y[1]);
        c = -kernel_sin(y[0], y[1], true);
        break;
    case 2:
        s = -kernel_sin(y[0], y[1], true);
        c = -kernel_cos(y[0], y[1]);
        break;
    default:
        s = -kernel_cos(y[0], y[1]);
        c = kernel_sin(y[0], y[1], true);
        break;
    }
}

} // namespace textmatte
