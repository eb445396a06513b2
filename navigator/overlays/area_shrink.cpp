#include "overlays/area_shrink.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaro::overlays {

namespace {

// For each destination pixel along one axis: the source pixels it covers
// and their weights (16-bit fractions that add up to exactly 65536).
struct Taps {
    std::vector<int> first;          // first source pixel of each destination pixel
    std::vector<int> begin;          // index into weight of each destination pixel, plus one end
    std::vector<std::uint32_t> weight;
};

// `from` source pixels, of which the part from `start` that is `length`
// long is brought to `to` pixels.
Taps AreaTaps(int from, double start, double length, int to)
{
    Taps t;
    t.first.resize(static_cast<std::size_t>(to));
    t.begin.resize(static_cast<std::size_t>(to) + 1);
    const double scale = length / to;
    for (int i = 0; i < to; ++i) {
        const double a = start + i * scale, b = start + (i + 1) * scale;
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
Taps LinearTaps(int from, double start, double length, int to)
{
    Taps t;
    t.first.resize(static_cast<std::size_t>(to));
    t.begin.resize(static_cast<std::size_t>(to) + 1);
    const double scale = length / to;
    for (int i = 0; i < to; ++i) {
        const double x = start + (i + 0.5) * scale - 0.5;
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

// Enlarging along both axes, as LinearTaps weighs, with weights of 1/256:
// each source row needed is brought to the destination width once, and
// every destination row is the mix of its two.
struct Mix {
    int first;         // the nearer source pixel before the centre
    std::uint32_t far; // weight of the one after it, 0..256
};

std::vector<Mix> LinearMix(int from, double start, double length, int to)
{
    std::vector<Mix> m(static_cast<std::size_t>(to));
    const double scale = length / to;
    for (int i = 0; i < to; ++i) {
        const double x = start + (i + 0.5) * scale - 0.5;
        int s = static_cast<int>(std::floor(x));
        auto far = static_cast<std::uint32_t>(std::lround((x - s) * 256.0));
        if (far == 256) ++s, far = 0;
        if (s < 0) s = 0, far = 0;
        if (s >= from - 1) s = from - 1, far = 0;
        m[static_cast<std::size_t>(i)] = {s, far};
    }
    return m;
}

// a and b mixed, b weighing w/256, two channels at a time.
inline std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, std::uint32_t w)
{
    const std::uint32_t v = 256 - w;
    const std::uint32_t rb = (((a & 0xff00ffu) * v + (b & 0xff00ffu) * w + 0x800080u) >> 8) & 0xff00ffu;
    const std::uint32_t ag = (((a >> 8) & 0xff00ffu) * v + ((b >> 8) & 0xff00ffu) * w + 0x800080u) & 0xff00ff00u;
    return rb | ag;
}

// out = a and b mixed pixel by pixel, b weighing w/256 (`lanes`: a weight
// per pixel, repeated for its four channels; otherwise `w` for all): four
// pixels at a time where the processor has SSE2, with the same sums and
// so the same result.
void MixRows(const std::uint32_t* a, const std::uint32_t* b, std::uint32_t w, const std::uint16_t* lanes,
             std::uint32_t* out, int n)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i all = _mm_set1_epi16(256);
    const __m128i half = _mm_set1_epi16(128);
    const __m128i zero = _mm_setzero_si128();
    const __m128i fixed = _mm_set1_epi16(static_cast<short>(w));
    auto mix = [&](__m128i ca, __m128i cb, __m128i wb) {
        const __m128i wa = _mm_sub_epi16(all, wb);
        const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(ca, wa), _mm_mullo_epi16(cb, wb)), half);
        return _mm_srli_epi16(sum, 8);
    };
    for (; x + 4 <= n; x += 4) {
        const __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        __m128i wlo = fixed, whi = fixed;
        if (lanes) {
            wlo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 4 * x));
            whi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 4 * x + 8));
        }
        const __m128i lo = mix(_mm_unpacklo_epi8(pa, zero), _mm_unpacklo_epi8(pb, zero), wlo);
        const __m128i hi = mix(_mm_unpackhi_epi8(pa, zero), _mm_unpackhi_epi8(pb, zero), whi);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < n; ++x) out[x] = Lerp(a[x], b[x], lanes ? lanes[4 * x] : w);
}

QImage Enlarge(const QImage& from, const QRectF& part, QSize size)
{
    const int dw = size.width(), dh = size.height();
    const std::vector<Mix> across = LinearMix(from.width(), part.x(), part.width(), dw);
    const std::vector<Mix> down = LinearMix(from.height(), part.y(), part.height(), dh);
    QImage made(size, from.format());
    if (made.isNull()) return {};
    // Across: the two source pixels of each column and the far one's weight.
    std::vector<int> left(static_cast<std::size_t>(dw)), right(left.size());
    std::vector<std::uint16_t> lanes(left.size() * 4);
    for (std::size_t x = 0; x < across.size(); ++x) {
        left[x] = across[x].first;
        right[x] = across[x].far ? across[x].first + 1 : across[x].first;
        for (std::size_t c = 0; c < 4; ++c) lanes[4 * x + c] = static_cast<std::uint16_t>(across[x].far);
    }
    // The two source rows of the current destination row, at its width.
    std::vector<std::uint32_t> upper(static_cast<std::size_t>(dw)), lower(upper.size());
    std::vector<std::uint32_t> nearPx(upper.size()), farPx(upper.size());
    int upperRow = -1, lowerRow = -1;
    auto widen = [&](int y, std::vector<std::uint32_t>& out) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(from.constScanLine(y));
        for (std::size_t x = 0; x < left.size(); ++x) {
            nearPx[x] = in[left[x]];
            farPx[x] = in[right[x]];
        }
        MixRows(nearPx.data(), farPx.data(), 0, lanes.data(), out.data(), dw);
    };
    for (int y = 0; y < dh; ++y) {
        const Mix& m = down[static_cast<std::size_t>(y)];
        const int below = m.far ? m.first + 1 : m.first;
        if (upperRow != m.first) {
            if (lowerRow == m.first) {
                std::swap(upper, lower);
                std::swap(upperRow, lowerRow);
            } else {
                widen(m.first, upper);
                upperRow = m.first;
            }
        }
        if (below != m.first && lowerRow != below) {
            widen(below, lower);
            lowerRow = below;
        }
        auto* out = reinterpret_cast<std::uint32_t*>(made.scanLine(y));
        if (below == m.first) {
            std::copy(upper.begin(), upper.end(), out);
            continue;
        }
        MixRows(upper.data(), lower.data(), m.far, nullptr, out, dw);
    }
    return made;
}

Taps AxisTaps(int from, double start, double length, int to)
{
    return to <= length ? AreaTaps(from, start, length, to) : LinearTaps(from, start, length, to);
}

}  // namespace

QImage ShrinkByArea(const QImage& source, QSize size)
{
    if (size.width() > source.width() || size.height() > source.height()) return {};
    return ResizeSmooth(source, size);
}

QImage ResizeSmooth(const QImage& source, QSize size)
{
    return ScalePart(source, QRectF(0, 0, source.width(), source.height()), size);
}

QImage ScalePart(const QImage& source, const QRectF& part, QSize size)
{
    if (source.isNull() || size.isEmpty()) return {};
    const QRectF inside = part.intersected(QRectF(0, 0, source.width(), source.height()));
    // A part that reaches past the picture by rounding is cut to it.
    if (!(inside.width() > 0.0) || !(inside.height() > 0.0)) return {};
    QImage from = source;
    if (from.format() != QImage::Format_RGB32 && from.format() != QImage::Format_ARGB32_Premultiplied)
        from = from.convertToFormat(from.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const int sw = from.width(), sh = from.height(), dw = size.width(), dh = size.height();
    if (dw > inside.width() && dh > inside.height()) return Enlarge(from, inside, size);
    const Taps across = AxisTaps(sw, inside.x(), inside.width(), dw), down = AxisTaps(sh, inside.y(), inside.height(), dh);

    // Across first: every source row the copy needs brought to the
    // destination width, kept with 7 more bits than a byte per channel.
    const int firstRow = down.first.front();
    int lastRow = firstRow;
    for (std::size_t y = 0; y < down.first.size(); ++y)
        lastRow = std::max(lastRow, down.first[y] + (down.begin[y + 1] - down.begin[y]) - 1);
    lastRow = std::min(lastRow, sh - 1);
    const std::size_t rowLength = static_cast<std::size_t>(dw) * 4;
    std::vector<std::uint16_t> rows(static_cast<std::size_t>(lastRow - firstRow + 1) * rowLength);
    for (int y = firstRow; y <= lastRow; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(from.constScanLine(y));
        std::uint16_t* out = rows.data() + static_cast<std::size_t>(y - firstRow) * rowLength;
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
        int row = down.first[uy] - firstRow;
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
