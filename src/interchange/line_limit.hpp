// The most lines a drawing may have, counted as the line reader cuts them
// (a line longer than a piece counts once for each piece): the scan stops
// there, and a run refuses a drawing that has more.
#pragma once

namespace textmatte {

inline constexpr unsigned kLineLimit = 50000;

} // namespace textmatte
