#include "interchange/records.hpp"

#include <cmath>

namespace textmatte {

void Sen(Output& fpw, double x1, double y1, double x2, double y2) {
    print(fpw, " %.12f %.12f %.12f %.12f \n", {x1, y1, x2, y2});
}

void Ten(Output& fpw, double x, double y) {
    print(fpw, "pt %.12f %.12f \n", {x, y});
}

void Lcout(Output& fpw, int colour) {
    print(fpw, "lc%d \n", {colour});
}

void SRGBout(Output& fpw, int red, int green, int blue) {
    // 32-bit wrap-around arithmetic: a component above 255 carries upward.
    unsigned packed = (static_cast<unsigned>(red) << 16) + (static_cast<unsigned>(green) << 8) +
                      static_cast<unsigned>(blue);
    print(fpw, "lc10 #%06x\n", {packed});
}

void S16RGBout(Output& fpw, int packed) {
    print(fpw, "lc10 #%06x\n", {static_cast<unsigned>(packed)});
}

void SL2out(Output& fpw, double x1, double y1, double x2, double y2) {
    print(fpw, "sl %.12f %.12f %.12f %.12f\n", {x1, y1, x2, y2});
}

void SL3out(Output& fpw, double x1, double y1, double x2, double y2, double x3, double y3) {
    print(fpw, "sl %.12f %.12f %.12f %.12f %.12f %.12f\n", {x1, y1, x2, y2, x3, y3});
}

void SL4out(Output& fpw, double x1, double y1, double x2, double y2, double x3, double y3,
            double x4, double y4) {
    print(fpw, "sl %.12f %.12f %.12f %.12f %.12f %.12f %.12f %.12f\n",
          {x1, y1, x2, y2, x3, y3, x4, y4});
}

void SCout(Output& fpw, double a1, double a2, double a3, double a4, double a5, double a6, double a7,
           double a8) {
    print(fpw, "sc %.10f %.10f %.10f %.10f %.10f %.10f %.10f %.2f\n",
          {a1, a2, a3, a4, a5, a6, a7, a8});
}

void SEout(Output& fpw, double a1, double a2, double a3, double a4, double a5, double a6, double a7,
           double a8) {
    print(fpw, "se %.10f %.10f %.10f %.10f %.10f %.10f %.10f %.2f\n",
          {a1, a2, a3, a4, a5, a6, a7, a8});
}

void Cnout(Output& fpw, int type) {
    print(fpw, "cn%d \n", {type});
}

void MojiOutSS(Output& fpw, const char* head, double x, double y, double dx, double dy,
               const char* text) {
    print(fpw, "%s %.9f %.9f %.9f %.9f \"%s\n", {head, x, y, dx, dy, text});
}

void MojiOutS(Output& fpw, double x, double y, const char* text) {
    print(fpw, "ch %.6f %.6f 3 0 \"%s\n", {x, y, text});
}

void MojiOutSD(Output& fpw, double x, double y, double value, const char* text) {
    print(fpw, "ch %.6f %.6f 3 0 \"%s %.2f\n", {x, y, text, value});
}

void MojiOutD1(Output& fpw, double x, double y, int n) {
    print(fpw, "ch %.6f %.6f 3 0 \"%d\n", {x, y, n});
}

void MojiOutD2(Output& fpw, double x, double y, int n1, int n2) {
    print(fpw, "ch %.6f %.6f 3 0 \"%d,%d\n", {x, y, n1, n2});
}

void Kci(Output& fpw, double cx, double cy, double r) {
    print(fpw, "ci %.12f %.12f %.12f \n", {cx, cy, r});
}

void Kdci(Output& fpw, double cx, double cy, double r, double start, double end, double v6,
          double v7) {
    print(fpw, "ci %.12f %.12f %.12f %.12f %.12f %.12f %.12f \n", {cx, cy, r, start, end, v6, v7});
}

double LengSen(double x1, double y1, double x2, double y2) {
    const double dx = x1 - x2;
    const double dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
}

} // namespace textmatte
