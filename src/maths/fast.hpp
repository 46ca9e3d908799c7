// The fast step of the direction functions: values as hi + lo, within
// 2^-68.5 of the result (directions.cpp says why), before rounding. Seen by
// the tests, which measure that error.
#pragma once

#include "maths/double_double.hpp"

namespace textmatte::maths::fast {

// atan(t) for t = t_hi + t_lo in [2^-61, 1], |t_lo| <= 2^-52 t_hi.
DoubleDouble atan(double t_hi, double t_lo);
// Sine and cosine of x, 2^-27 <= |x| <= 4.
void sin_cos(double x, DoubleDouble& s, DoubleDouble& c);

} // namespace textmatte::maths::fast
