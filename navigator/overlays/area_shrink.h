// Shrinking a picture by area averaging on the calling thread alone.
//
// Each pixel of the copy is the mean of the part of the picture it covers,
// with fractional weights at the edges of that part: the same result as a
// smooth downscale, worked out without Qt's own threads, so that a worker
// thread that makes copies ahead does all its work at its own low priority.
#pragma once

#include <QImage>
#include <QSize>

namespace tessaro::overlays {

// `source` at `size` (width and height each at most the source's); a null
// picture when `source` is null or `size` is empty or larger.
QImage ShrinkByArea(const QImage& source, QSize size);

}  // namespace tessaro::overlays
