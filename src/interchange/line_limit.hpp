// The most lines a drawing may have: the scan stops there, and a run
// refuses a drawing that has more.
#pragma once

namespace textmatte {

inline constexpr unsigned kLineLimit = 50000;

} // namespace textmatte
