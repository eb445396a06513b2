// Smooth scaling of a picture on the calling thread alone.
//
// Along an axis that shrinks, each pixel of the copy is the mean of the part
// of the picture it covers, with fractional weights at the edges of that
// part; along an axis that grows, it is interpolated between the two nearest
// pixels (in steps of 1/256 where both axes grow, the common case of a
// photograph seen closer, which then costs little more than a copy). Qt's smooth scaling hands bands of the work to threads of its own
// pool: those threads take the priority of the thread that first needed
// them, so a worker at low priority would leave them slow for the GUI thread
// as well, and its bands would queue in front of the GUI thread's. Worked out
// here, a worker's copy costs only the worker's own time.
#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>

namespace tessaro::overlays {

// `source` at `size` (width and height each at most the source's); a null
// picture when `source` is null or `size` is empty or larger.
QImage ShrinkByArea(const QImage& source, QSize size);

// `source` at any `size`; a null picture when `source` is null or `size` is
// empty.
QImage ResizeSmooth(const QImage& source, QSize size);

// The part `part` of `source` (in its pixels, cut to the picture) at
// `size`, without working out the rest of the picture. Pixels next to the
// part take their share at its edges, so copies of neighbouring parts meet
// without a seam. Null when `part` misses `source` or `size` is empty.
QImage ScalePart(const QImage& source, const QRectF& part, QSize size);

}  // namespace tessaro::overlays
