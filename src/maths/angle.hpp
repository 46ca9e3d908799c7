// The direction of a text, computed the same way on every platform.
#pragma once

namespace textmatte {

// The angle of the vector (x, y), in (-pi, pi]: atan2(y, x).
double direction_angle(double y, double x);

// Sine and cosine of an angle (meant for angles from direction_angle).
void sine_cosine(double angle, double& s, double& c);

} // namespace textmatte
