// Drawing a drawing as a standalone SVG picture.
#pragma once

#include "interchange/output.hpp"
#include "preview/drawing.hpp"

namespace textmatte::preview {

// Picture size: the longer side, and the border around the drawing, in px.
inline constexpr double kPictureSize = 1000.0;
inline constexpr double kBorder = 20.0;

// Writes a well-formed SVG document: y points up in the drawing and down in
// the picture; shapes are painted in file order, so later ones lie on top.
// Shapes with coordinates that are not finite are left out.
void write_svg(const Drawing& drawing, Output& out);

} // namespace textmatte::preview
