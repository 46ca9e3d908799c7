#include "drawings.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace textmatte::bench {

namespace {

class Writer {
  public:
    Writer(Kind kind, unsigned seed) : kind_(kind), rng_(seed) {}

    // Returns the number of lines written.
    int header(std::string& s) {
        s += "# benchmark drawing\r\nhq\r\n";
        s += "hcw 2 2.5 3 3.5 4 5 6 7 8 10\r\nhch 2 2.5 3 3.5 4 5 6 7 8 10\r\n";
        s += "hcd 0 0 0.5 0.5 0.5 1 1 1 1 1\r\nhcc 1 1 1 2 2 2 3 3 3 4\r\n";
        s += "lg0\r\nly1\r\nlt1\r\nlc2\r\npn1\r\ncn3\r\n";
        return 12;
    }

    bool next_is_text() { return kind_ != Kind::mix || rng_() % 5 == 0; }

    void text(std::string& s) {
        // Most texts run left to right, some upwards, the rest at any angle.
        const int pick = static_cast<int>(rng_() % 10);
        const double angle = pick < 6   ? 0.0
                             : pick < 8 ? std::numbers::pi / 2
                                        : uniform(0, 2 * std::numbers::pi);
        const std::string str = label();
        const double length = 0.9 * static_cast<double>(str.size());
        line("ch %.6f %.6f %.6f %.6f \"", coord(), coord(), length * std::cos(angle),
             length * std::sin(angle));
        s += buf_;
        s += str;
        s += "\r\n";
    }

    void other(std::string& s) {
        const int pick = static_cast<int>(rng_() % 20);
        if (pick < 11)
            line(" %.6f %.6f %.6f %.6f", coord(), coord(), coord(), coord());
        else if (pick < 14)
            line("ci %.6f %.6f %.6f", coord(), coord(), uniform(1, 50));
        else if (pick < 16)
            line("pt %.6f %.6f", coord(), coord());
        else if (pick < 17)
            line("lc%d", static_cast<int>(rng_() % 9) + 1);
        else if (pick < 18)
            line("ly%x", static_cast<int>(rng_() % 16));
        else if (pick < 19)
            line("cn%d", static_cast<int>(rng_() % 10) + 1);
        else
            line("# part %u", static_cast<unsigned>(rng_() % 1000));
        s += buf_;
        s += "\r\n";
    }

  private:
    template <class... A> void line(const char* fmt, A... a) {
        std::snprintf(buf_, sizeof buf_, fmt, a...);
    }
    double uniform(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng_);
    }
    double coord() { return uniform(-2000, 2000); }

    std::string label() {
        static const char* words[] = {"door",     "window", "wall",   "KITCHEN",
                                      "room 12",  "W=900",  "H=2100", "\x95\x94\x89\xae",
                                      "\x91\x8b", "FL+450"};
        std::string s;
        const std::size_t want = kind_ == Kind::long_texts ? 120 + rng_() % 61 : 4 + rng_() % 24;
        while (s.size() < want) {
            if (!s.empty()) s += ' ';
            s += words[rng_() % 10];
        }
        s.resize(want);
        return s;
    }

    Kind kind_;
    std::mt19937 rng_;
    char buf_[256];
};

} // namespace

const char* name(Kind kind) {
    switch (kind) {
    case Kind::texts: return "texts";
    case Kind::mix: return "mix";
    case Kind::long_texts: return "long_texts";
    }
    return "?";
}

std::string make_drawing(Kind kind, int lines, unsigned seed) {
    Writer w(kind, seed);
    std::string s;
    int n = lines >= 12 ? w.header(s) : 0;
    for (; n < lines; ++n) {
        if (w.next_is_text())
            w.text(s);
        else
            w.other(s);
    }
    return s;
}

} // namespace textmatte::bench
