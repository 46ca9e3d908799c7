// The most pieces a drawing may have, as the line reader cuts its lines (a
// line longer than a piece counts once for each piece; users read them as
// lines): the scan stops there, and a run refuses a drawing that has more.
#pragma once

namespace textmatte {

inline constexpr unsigned kPieceLimit = 50000;

} // namespace textmatte
