#include "overlays/area_shrink.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tessaro::overlays {

namespace {

// For each destination pixel along one axis: the source pixels it covers
// and their weights (16-bit fractions that add up to exactly 65536).
struct Taps {
    std::vector<int> first;          // first source pixel of each destination pixel
    std::vector<int> begin;          // index into weight of each destination pixel, plus one end
    std::vector<std::uint32_t> weight;
};

Taps AreaTaps(int from, int to)
{
    Taps t;
    t.first.resize(static_cast<std::size_t>(to));
    t.begin.resize(static_cast<std::size_t>(to) + 1);
    const double scale = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        const double a = i * scale, b = (i + 1) * scale;
        const int s = std::min(from - 1, static_cast<int>(std::floor(a)));
        const int e = std::max(s + 1, std::min(from, static_cast<int>(std::ceil(b))));
        t.first[static_cast<std::size_t>(i)] = s;
        t.begin[static_cast<std::size_t>(i)] = static_cast<int>(t.weight.size());
        std::uint32_t sum = 0;
        for (int k = s; k < e; ++k) {
            const double cover = std::min(b, k + 1.0) - std::max(a, static_cast<double>(k));
            const auto w = static_cast<std::uint32_t>(std::lround(std::max(0.0, cover) / scale * 65536.0));
            t.weight.push_back(w);
            sum += w;
        }
        // Rounding leaves the sum a little off 65536: the largest weight takes
        // the difference, so a plain colour stays exactly that colour.
        auto first = t.weight.begin() + t.begin[static_cast<std::size_t>(i)];
        auto largest = std::max_element(first, t.weight.end());
        *largest = static_cast<std::uint32_t>(static_cast<std::int64_t>(*largest) + 65536 - sum);
    }
    t.begin[static_cast<std::size_t>(to)] = static_cast<int>(t.weight.size());
    return t;
}


// Enlarging: each destination pixel's centre falls between two source
// pixels, weighted by how near it is to each; the outermost half pixels
// repeat the edge.
Taps LinearTaps(int from, int to)
{
    Taps t;
    t.first.resize(static_cast<std::size_t>(to));
    t.begin.resize(static_cast<std::size_t>(to) + 1);
    const double scale = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        const double x = (i + 0.5) * scale - 0.5;
        int s = static_cast<int>(std::floor(x));
        auto far = static_cast<std::uint32_t>(std::lround((x - s) * 65536.0));
        if (s < 0) s = 0, far = 0;
        if (s >= from - 1) s = from - 1, far = 0;
        t.first[static_cast<std::size_t>(i)] = s;
        t.begin[static_cast<std::size_t>(i)] = static_cast<int>(t.weight.size());
        t.weight.push_back(65536 - far);
        if (far != 0) t.weight.push_back(far);
    }
    t.begin[static_cast<std::size_t>(to)] = static_cast<int>(t.weight.size());
    return t;
}

Taps AxisTaps(int from, int to) { return to <= from ? AreaTaps(from, to) : LinearTaps(from, to); }

}  // namespace

QImage ShrinkByArea(const QImage& source, QSize size)
{
    if (size.width() > source.width() || size.height() > source.height()) return {};
    return ResizeSmooth(source, size);
}

QImage ResizeSmooth(const QImage& source, QSize size)
{
    if (source.isNull() || size.isEmpty()) return {};
    QImage from = source;
    if (from.format() != QImage::Format_RGB32 && from.format() != QImage::Format_ARGB32_Premultiplied)
        from = from.convertToFormat(from.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const int sw = from.width(), sh = from.height(), dw = size.width(), dh = size.height();
    const Taps across = AxisTaps(sw, dw), down = AxisTaps(sh, dh);

    // Across first: every source row brought to the destination width, kept
    // with 7 more bits than a byte per channel.
    const std::size_t rowLength = static_cast<std::size_t>(dw) * 4;
    std::vector<std::uint16_t> rows(static_cast<std::size_t>(sh) * rowLength);
    for (int y = 0; y < sh; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(from.constScanLine(y));
        std::uint16_t* out = rows.data() + static_cast<std::size_t>(y) * rowLength;
        for (int x = 0; x < dw; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            const std::uint32_t* px = in + across.first[ux];
            std::uint32_t acc[4] = {0, 0, 0, 0};
            for (int k = across.begin[ux]; k < across.begin[ux + 1]; ++k, ++px) {
                const std::uint32_t w = across.weight[static_cast<std::size_t>(k)], p = *px;
                acc[0] += w * (p & 0xff);
                acc[1] += w * ((p >> 8) & 0xff);
                acc[2] += w * ((p >> 16) & 0xff);
                acc[3] += w * (p >> 24);
            }
            for (int c = 0; c < 4; ++c) out[ux * 4 + static_cast<std::size_t>(c)] = static_cast<std::uint16_t>((acc[c] + 256) >> 9);
        }
    }

    QImage made(size, from.format());
    if (made.isNull()) return {};
    std::vector<std::uint32_t> acc(rowLength);
    for (int y = 0; y < dh; ++y) {
        const auto uy = static_cast<std::size_t>(y);
        std::fill(acc.begin(), acc.end(), 0u);
        int row = down.first[uy];
        for (int k = down.begin[uy]; k < down.begin[uy + 1]; ++k, ++row) {
            const std::uint32_t w = down.weight[static_cast<std::size_t>(k)];
            const std::uint16_t* in = rows.data() + static_cast<std::size_t>(row) * rowLength;
            for (std::size_t i = 0; i < rowLength; ++i) acc[i] += w * in[i];
        }
        auto* out = reinterpret_cast<std::uint32_t*>(made.scanLine(y));
        for (int x = 0; x < dw; ++x) {
            const std::size_t i = static_cast<std::size_t>(x) * 4;
            auto channel = [&](std::size_t c) { return std::min<std::uint32_t>(255, (acc[i + c] + (1u << 22)) >> 23); };
            out[x] = channel(0) | channel(1) << 8 | channel(2) << 16 | channel(3) << 24;
        }
    }
    return made;
}

}  // namespace tessaro::overlays
