#include "overlays/base_pic.h"

#include "overlays/area_shrink.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QStyleHints>
#include <QWheelEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace tessaro::overlays {

namespace {

QColor ToColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// Largest on-screen size [pixels] at which a photograph is kept scaled whole.
constexpr double kWholeScaleLimit = 2.5e6;

bool Finite(double v) { return std::isfinite(v); }

// Clips the segment to `r` (Liang-Barsky); false when nothing is left.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& r)
{
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    const QPointF start = a;
    a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
    b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
    return true;
}

QPoint RoundPoint(const QPointF& p)
{
    return QPoint(static_cast<int>(std::lround(p.x())), static_cast<int>(std::lround(p.y())));
}

QFont PictureFont(int points, bool bold, double scale)
{
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setStyleHint(QFont::SansSerif);
    // Points at 96 dots per inch, like the screen the sizes were chosen for.
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(points * 96.0 / 72.0 * scale))));
    f.setBold(bold);
    return f;
}

}  // namespace

QSize BasePic::sizeHint() const
{
    // One pixel a picture unit.
    return {static_cast<int>(PictureArea::kWidth), static_cast<int>(PictureArea::kHeight)};
}

BasePic::BasePic(QWidget* parent) : QWidget(parent)
{
    area_.OnChange = [this] { update(); };
    markIcon_ = DefaultMarkIcon();
    gpsIcon_ = DefaultGPSPointIcon();
    pointIcon_ = DefaultPointIcon();
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(sizeHint());
    partPool_.setMaxThreadCount(1);
    // A copy a stand-in was drawn for is made: paint again (on this thread).
    scaledPictures_.SetOnMade([this] {
        if (provisional_.load()) QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
    });
}

BasePic::~BasePic()
{
    scaledPictures_.SetOnMade({});
    partPool_.clear();
    partPool_.waitForDone();
}

bool BasePic::LoadPhoto(int slot, const std::string& path)
{
    if (slot < 0 || slot >= PictureArea::kPhotoSlots) return false;
    auto image = cache_.Load(path);
    if (!image) return false;
    const auto u = static_cast<std::size_t>(slot);
    if (photos_[u] != image) {
        photos_[u] = std::move(image);
        serial_[u] = ++lastSerial_;
    }
    update();
    return true;
}

const QImage* BasePic::PhotoPicture(int slot) const
{
    if (slot < 0 || slot >= PictureArea::kPhotoSlots) return nullptr;
    return photos_[static_cast<std::size_t>(slot)].get();
}

UnitMapping BasePic::Mapping() const { return UnitMapping::Fit(width(), height()); }

QPointF BasePic::ToPixel(double x, double y) const
{
    const UnitMapping m = Mapping();
    return {m.PixelX(x), m.PixelY(y)};
}

QPointF BasePic::ToPictureUnits(const QPointF& pixel) const
{
    const UnitMapping m = Mapping();
    return {m.UnitX(pixel.x()), m.UnitY(pixel.y())};
}

QRect BasePic::PictureRect() const
{
    const UnitMapping m = Mapping();
    const long x0 = std::lround(m.left), y0 = std::lround(m.top);
    const long x1 = std::lround(m.left + m.PixelWidth()), y1 = std::lround(m.top + m.PixelHeight());
    return {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
}

UnitMapping BasePic::LayerMapping() const
{
    UnitMapping m = Mapping();
    const QRect r = PictureRect();
    m.left -= r.left();
    m.top -= r.top();
    return m;
}

namespace {
QRectF Pixels(const UnitMapping& m, const PictureItem& item)
{
    return {m.PixelX(item.left), m.PixelY(item.top), item.width * m.scale, item.height * m.scale};
}
}  // namespace

QRectF BasePic::ItemPixels(const PictureItem& item) const { return Pixels(Mapping(), item); }

QRectF BasePic::LayerItemPixels(const PictureItem& item) const { return Pixels(LayerMapping(), item); }

std::array<BasePic::PhotoState, PictureArea::kPhotoSlots> BasePic::CurrentPhotoState() const
{
    std::array<PhotoState, PictureArea::kPhotoSlots> out{};
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = {serial_[i], area_.PhotoImg[i]};
    return out;
}

std::vector<std::pair<int, QSize>> BasePic::WholeScaled(double factor) const
{
    // A photograph of moderate size on screen is scaled whole, once per
    // size; moving the view then only shifts it.
    std::vector<std::pair<int, QSize>> out;
    const QRectF layer(QPointF(0, 0), QSizeF(PictureRect().size()));
    for (int slot = 0; slot < PictureArea::kPhotoSlots; ++slot) {
        const auto u = static_cast<std::size_t>(slot);
        const PictureItem& item = area_.PhotoImg[u];
        if (!item.visible || !photos_[u] || photos_[u]->isNull()) continue;
        const QRectF t = LayerItemPixels(item);
        if (!Finite(t.x()) || !Finite(t.y()) || !Finite(t.width()) || !Finite(t.height())) continue;
        if (t.width() <= 0.0 || t.height() <= 0.0) continue;
        const double w = std::round(t.width() * factor), h = std::round(t.height() * factor);
        if (!(w >= 1.0 && h >= 1.0 && w * h <= kWholeScaleLimit)) continue;
        // Off the picture now: nothing to paint (a zoom may bring it in, but
        // is as likely to keep it out).
        if (factor == 1.0 && !layer.intersects(t)) continue;
        out.push_back({slot, QSize(static_cast<int>(w), static_cast<int>(h))});
    }
    return out;
}

void BasePic::PaintPictureLayer()
{
    const auto photos = CurrentPhotoState();
    const auto& ops = area_.Ops();
    const QSize size = PictureRect().size();
    const bool reuse = layerValid_ && layer_.size() == size && layerGeneration_ == area_.Generation() &&
                       layerOps_ <= ops.size() && layerPhotos_ == photos && layerBack_ == area_.BackColor;
    if (layer_.size() != size) layer_ = QImage(size, QImage::Format_RGB32);
    // Lines, dots and boxes are set pixel by pixel; photographs and text go
    // through the painter. Both write straight into the layer.
    Raster raster{reinterpret_cast<quint32*>(layer_.bits()),
                  static_cast<std::size_t>(layer_.bytesPerLine()) / sizeof(quint32), layer_.width(),
                  layer_.height()};
    QPainter p(&layer_);
    std::size_t first = layerOps_;
    if (!reuse) {
        p.fillRect(layer_.rect(), ToColor(area_.BackColor));
        // The photographs scaled whole are made together (by the workers and
        // this thread) before they are painted. While zooming (neighbour
        // levels are prepared), a copy not made yet is not waited for when
        // the photograph has a copy at another size to stand in for it.
        const auto whole = WholeScaled(1.0);
        std::array<ScaledPictures::Picture, PictureArea::kPhotoSlots> made{};
        std::array<QSize, PictureArea::kPhotoSlots> wanted{};
        std::array<bool, PictureArea::kPhotoSlots> ready{};
        bool standIns = false;
        for (const auto& [slot, px] : whole) {
            const auto u = static_cast<std::size_t>(slot);
            wanted[u] = px;
            ready[u] = scaledPictures_.Ready(photos_[u], px, made[u]);
            if (!ready[u] && zoomFactors_ && (made[u] = scaledPictures_.StandIn(photos_[u], px))) standIns = true;
        }
        for (const auto& [slot, px] : whole)
            if (!ready[static_cast<std::size_t>(slot)]) scaledPictures_.Prepare(photos_[static_cast<std::size_t>(slot)], px, true);
        for (const auto& [slot, px] : whole) {
            const auto u = static_cast<std::size_t>(slot);
            if (!ready[u] && !made[u]) made[u] = scaledPictures_.Get(photos_[u], px);
        }
        provisional_.store(standIns);
        std::array<int, PictureArea::kPhotoSlots> order{};
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
            return area_.PhotoImg[static_cast<std::size_t>(a)].z < area_.PhotoImg[static_cast<std::size_t>(b)].z;
        });
        // Photographs are opaque: each one is copied (and, when only its
        // visible part is scaled, scaled) only where none in front of it
        // covers the layer.
        std::array<QRect, PictureArea::kPhotoSlots> on{};
        std::array<QRegion, PictureArea::kPhotoSlots> open{};
        QRegion covered;
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            const auto u = static_cast<std::size_t>(*it);
            on[u] = PhotoOnLayer(*it, made[u], wanted[u]);
            if (on[u].isEmpty()) continue;
            open[u] = QRegion(on[u]).subtracted(covered);
            covered += on[u];
        }
        for (int slot : order) {
            const auto u = static_cast<std::size_t>(slot);
            if (open[u].isEmpty()) continue;
            const Placed ph = PlacePhoto(slot, made[u], wanted[u], on[u], open[u].boundingRect());
            if (!ph.image || ph.image->isNull() || ph.size.isEmpty()) continue;
            const double fx = ph.image->width() / static_cast<double>(ph.size.width());
            const double fy = ph.image->height() / static_cast<double>(ph.size.height());
            for (const QRect& r : open[u].intersected(QRect(ph.at, ph.size))) {
                if (raster.Put(*ph.image, r, ph.at, fx, fy)) continue;
                // Not a plain opaque picture: the painter, one open rectangle
                // at a time (a plain clip is its fast case).
                const QRect from = r.translated(-ph.at);
                p.drawImage(QRectF(r), *ph.image,
                            QRectF(from.x() * fx, from.y() * fy, from.width() * fx, from.height() * fy));
            }
            if (ph.over)
                for (const QRect& r : open[u].intersected(QRect(ph.overAt, ph.over->size())))
                    raster.Put(*ph.over, r, ph.overAt, 1.0, 1.0);
        }
        first = 0;
        PrepareNeighbourLevels();
    }
    OpFrame frame;
    frame.mapping = LayerMapping();
    frame.bounds = QRectF(layer_.rect()).adjusted(-8, -8, 8, 8);
    for (std::size_t i = first; i < ops.size(); ++i) PaintOp(p, raster, ops[i], frame);
    // A layer with stand-ins is painted afresh next time.
    layerValid_ = !provisional_.load();
    layerGeneration_ = area_.Generation();
    layerOps_ = ops.size();
    layerPhotos_ = photos;
    layerBack_ = area_.BackColor;
}

void BasePic::PrepareNeighbourLevels()
{
    if (!zoomFactors_) return;
    scaledPictures_.DropQueued();
    for (double f : zoomFactors_()) {
        if (!(f > 0.0) || f == 1.0) continue;
        for (const auto& [slot, px] : WholeScaled(f)) scaledPictures_.Prepare(photos_[static_cast<std::size_t>(slot)], px);
    }
}

void BasePic::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0) return;
    const QRect picture = PictureRect();
    QPainter p(this);
    // Around the picture: the window colour.
    const QRegion around = QRegion(rect()).subtracted(QRegion(picture));
    for (const QRect& r : around) p.fillRect(r, palette().color(QPalette::Window));
    if (picture.isEmpty()) return;
    PaintPictureLayer();
    p.setClipRect(picture);
    // While the picture is dragged, everything on it follows the pointer.
    const QPoint shift = dragOffset_.toPoint();
    if (!shift.isNull()) p.fillRect(picture, ToColor(area_.BackColor));
    p.drawImage(picture.topLeft() + shift, layer_);
    p.translate(shift);

    // Icons and the label, in stacking order.
    struct Top {
        const PictureItem* item;
        const QImage* icon;
    };
    std::vector<Top> tops;
    tops.reserve(PictureArea::kMarkIcons + 3);
    for (const auto& m : area_.MarkPointImg) tops.push_back({&m, &markIcon_});
    tops.push_back({&area_.GPSPointImg, &gpsIcon_});
    tops.push_back({&area_.PointImg, &pointIcon_});
    tops.push_back({&area_.TimeHdLbl, nullptr});
    std::stable_sort(tops.begin(), tops.end(), [](const Top& a, const Top& b) { return a.item->z < b.item->z; });
    for (const Top& t : tops) {
        if (!t.item->visible) continue;
        if (t.icon) {
            PaintIcon(p, *t.item, *t.icon);
            continue;
        }
        // The info label: black text on a pale box, sized to its caption.
        const QPointF at = ToPixel(t.item->left, t.item->top);
        if (!Finite(at.x()) || !Finite(at.y()) || std::fabs(at.x()) > 1e6 || std::fabs(at.y()) > 1e6) continue;
        const QFont f = PictureFont(9, false, Mapping().scale);
        const QString caption = QString::fromStdString(area_.TimeHdCaption);
        const QFontMetricsF fm(f);
        const QRectF box(at, QSizeF(fm.horizontalAdvance(caption) + 6, fm.height() + 2));
        p.fillRect(box, QColor(255, 255, 192));
        p.setPen(Qt::black);
        p.setFont(f);
        p.drawText(box, Qt::AlignCenter, caption);
    }
}

QRect BasePic::PhotoOnLayer(int slot, const ScaledPictures::Picture& whole, QSize wholeSize) const
{
    const auto uslot = static_cast<std::size_t>(slot);
    const PictureItem& item = area_.PhotoImg[uslot];
    const QImage* image = photos_[uslot].get();
    if (!item.visible || !image || image->isNull()) return {};
    const QRectF t = LayerItemPixels(item);
    if (!Finite(t.x()) || !Finite(t.y()) || !Finite(t.width()) || !Finite(t.height())) return {};
    if (t.width() <= 0.0 || t.height() <= 0.0) return {};
    const double lw = layer_.width(), lh = layer_.height();
    if (!QRectF(0, 0, lw, lh).intersects(t)) return {};
    if (whole) {
        const QPoint at(static_cast<int>(std::round(t.left())), static_cast<int>(std::round(t.top())));
        return QRect(at, wholeSize).intersected(layer_.rect());
    }
    const double wholeW = std::round(t.width()), wholeH = std::round(t.height());
    if (wholeW >= 1.0 && wholeH >= 1.0 && wholeW * wholeH <= kWholeScaleLimit) return {};  // could not be made
    const double l = std::clamp(std::round(t.left()), 0.0, lw);
    const double r = std::clamp(std::round(t.right()), 0.0, lw);
    const double top = std::clamp(std::round(t.top()), 0.0, lh);
    const double b = std::clamp(std::round(t.bottom()), 0.0, lh);
    if (r <= l || b <= top) return {};
    return QRect(static_cast<int>(l), static_cast<int>(top), static_cast<int>(r - l), static_cast<int>(b - top));
}

BasePic::Placed BasePic::PlacePhoto(int slot, const ScaledPictures::Picture& whole, QSize wholeSize, const QRect& on,
                                    const QRect& shows)
{
    if (on.isEmpty()) return {};
    const auto uslot = static_cast<std::size_t>(slot);
    const QRectF t = LayerItemPixels(area_.PhotoImg[uslot]);
    if (whole) {
        return {QPoint(static_cast<int>(std::round(t.left())), static_cast<int>(std::round(t.top()))), whole.get(),
                wholeSize};
    }

    // Larger: only the part that shows is scaled, so a photograph many
    // screens wide, or one mostly covered, costs no more than that part.
    const QImage* image = photos_[uslot].get();
    const QRect target = on.intersected(shows);
    if (target.isEmpty()) return {};
    const double fx = image->width() / t.width();
    const double fy = image->height() / t.height();
    const QRectF source((target.left() - t.left()) * fx, (target.top() - t.top()) * fy, target.width() * fx,
                        target.height() * fy);
    ScaledPhoto& cached = scaled_[uslot];
    if (cached.serial == serial_[uslot] && cached.target == target && cached.sourceRect == source && !cached.image.isNull())
        return {target.topLeft(), &cached.image, cached.image.size()};
    // A part asked for the first time is scaled here at once. After that,
    // when the view moves or zooms, the worker scales the new part while a
    // stand-in is drawn: the photograph itself stretched and, after a move
    // (same scale), the part kept moved with it over that. Either way on
    // this thread: the painter's smooth scaling would hand bands to threads
    // the scaling workers keep busy.
    const bool kept = cached.serial == serial_[uslot] && !cached.image.isNull();
    if (!zoomFactors_ || !kept) {
        cached = {serial_[uslot], target, source, ScalePart(*image, source, target.size())};
        return {target.topLeft(), &cached.image, cached.image.size()};
    }
    {
        std::lock_guard<std::mutex> hold(partLock_);
        std::shared_ptr<PartJob>& job = partJobs_[uslot];
        const bool same = job && job->wanted.serial == serial_[uslot] && job->wanted.target == target &&
                          job->wanted.sourceRect == source;
        if (same && job->done) {
            cached = std::move(job->wanted);
            job.reset();
            return {target.topLeft(), &cached.image, cached.image.size()};
        }
        if (!same) {
            job = std::make_shared<PartJob>();
            job->wanted = {serial_[uslot], target, source, {}};
            job->photo = photos_[uslot];
            partPool_.start([this, job, uslot] {
                {
                    // A part asked for before another one of its slot is not
                    // wanted any more.
                    std::lock_guard<std::mutex> check(partLock_);
                    if (partJobs_[uslot] != job) return;
                }
                QImage made = ScalePart(*job->photo, job->wanted.sourceRect, job->wanted.target.size());
                {
                    std::lock_guard<std::mutex> done(partLock_);
                    job->wanted.image = std::move(made);
                    job->done = true;
                }
                QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
            });
        }
    }
    provisional_.store(true);
    const QPoint at(static_cast<int>(std::round(t.left())), static_cast<int>(std::round(t.top())));
    Placed stand{at, image, QSize(static_cast<int>(std::round(t.width())), static_cast<int>(std::round(t.height())))};
    const double sx = t.width() / image->width(), sy = t.height() / image->height();
    if (std::fabs(cached.image.width() / cached.sourceRect.width() - sx) <= 1e-9 * sx &&
        std::fabs(cached.image.height() / cached.sourceRect.height() - sy) <= 1e-9 * sy) {
        stand.over = &cached.image;
        stand.overAt = QPoint(static_cast<int>(std::round(t.left() + cached.sourceRect.x() * sx)),
                              static_cast<int>(std::round(t.top() + cached.sourceRect.y() * sy)));
    }
    return stand;
}

void BasePic::PaintOp(QPainter& p, Raster& r, const DrawOp& op, OpFrame& frame)
{
    const UnitMapping& m = frame.mapping;
    const double sy = m.scale;
    const QRectF& bounds = frame.bounds;
    auto ToPixel = [&m](double x, double y) { return QPointF(m.PixelX(x), m.PixelY(y)); };
    const quint32 colour = 0xff000000u | (quint32{op.colour.r} << 16) | (quint32{op.colour.g} << 8) | op.colour.b;
    switch (op.kind) {
    case DrawOp::Kind::Line: {
        QPointF a = ToPixel(op.x1, op.y1);
        QPointF b = ToPixel(op.x2, op.y2);
        if (!Finite(a.x()) || !Finite(a.y()) || !Finite(b.x()) || !Finite(b.y())) return;
        if (!ClipSegment(a, b, bounds)) return;
        const QPoint ia = RoundPoint(a), ib = RoundPoint(b);
        r.Line(ia.x(), ia.y(), ib.x(), ib.y(), colour);
        return;
    }
    case DrawOp::Kind::FilledBox: {
        const QPointF a = ToPixel(op.x1, op.y1);
        const QPointF b = ToPixel(op.x2, op.y2);
        if (!Finite(a.x()) || !Finite(a.y()) || !Finite(b.x()) || !Finite(b.y())) return;
        auto clampX = [&](double v) { return std::clamp(v, bounds.left(), bounds.right()); };
        auto clampY = [&](double v) { return std::clamp(v, bounds.top(), bounds.bottom()); };
        const QPoint c1 = RoundPoint({clampX(std::min(a.x(), b.x())), clampY(std::min(a.y(), b.y()))});
        const QPoint c2 = RoundPoint({clampX(std::max(a.x(), b.x())), clampY(std::max(a.y(), b.y()))});
        r.Box(c1.x(), c1.y(), c2.x(), c2.y(), colour);
        return;
    }
    case DrawOp::Kind::Circle: {
        const QPointF c = ToPixel(op.x1, op.y1);
        const double radius = op.x2 * sy;
        if (!Finite(c.x()) || !Finite(c.y()) || !Finite(radius) || radius > 4000.0) return;
        if (!bounds.adjusted(-radius, -radius, radius, radius).contains(c)) return;
        const QPoint ic = RoundPoint(c);
        r.Circle(ic.x(), ic.y(), std::max(1, static_cast<int>(std::lround(radius))), colour);
        return;
    }
    case DrawOp::Kind::Text: {
        if (op.text.empty()) return;
        const QPointF at = ToPixel(op.x1, op.y1);
        if (!Finite(at.x()) || !Finite(at.y())) return;
        // Text runs right and down from its position; far outside, skip it.
        if (at.x() > bounds.right() || at.x() < -4000.0 || at.y() > bounds.bottom() || at.y() < -200.0) return;
        if (frame.fontSize != op.fontSize || frame.fontBold != op.bold) {
            frame.font = PictureFont(op.fontSize, op.bold, sy);
            frame.fontSize = op.fontSize;
            frame.fontBold = op.bold;
        }
        const QFont& f = frame.font;
        p.setFont(f);
        p.setPen(ToColor(op.colour));
        // The text position is the top of the character cell; the baseline
        // lies 0.88 em below it whatever the face's own ascent, so that text
        // sits where the layout of the overlays expects it.
        p.drawText(QPointF(at.x(), at.y() + 0.88 * f.pixelSize()), QString::fromStdString(op.text));
        return;
    }
    }
}

void BasePic::Raster::Line(int x0, int y0, int x1, int y1, quint32 c)
{
    // Bresenham: every pixel from one end to the other, both ends included.
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Plot(x0, y0, c);
        if (x0 == x1 && y0 == y1) return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void BasePic::Raster::Circle(int cx, int cy, int radius, quint32 c)
{
    // Midpoint circle, one pixel wide.
    int x = radius, y = 0, err = 1 - radius;
    while (x >= y) {
        Plot(cx + x, cy + y, c);
        Plot(cx - x, cy + y, c);
        Plot(cx + x, cy - y, c);
        Plot(cx - x, cy - y, c);
        Plot(cx + y, cy + x, c);
        Plot(cx - y, cy + x, c);
        Plot(cx + y, cy - x, c);
        Plot(cx - y, cy - x, c);
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

void BasePic::Raster::Box(int x0, int y0, int x1, int y1, quint32 c)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width - 1);
    y1 = std::min(y1, height - 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)] = c;
}

bool BasePic::Raster::Put(const QImage& from, const QRect& to, QPoint at, double fx, double fy)
{
    if (from.format() != QImage::Format_RGB32) return false;
    const QRect r = to.intersected(QRect(0, 0, width, height));
    if (r.isEmpty() || from.isNull()) return true;
    const int fw = from.width(), fh = from.height();
    const auto* src = reinterpret_cast<const quint32*>(from.constBits());
    const std::size_t srcStride = static_cast<std::size_t>(from.bytesPerLine()) / sizeof(quint32);
    // Source column of each target column: the pixel under its centre.
    std::vector<int> column(static_cast<std::size_t>(r.width()));
    for (int x = r.left(); x <= r.right(); ++x)
        column[static_cast<std::size_t>(x - r.left())] =
            std::clamp(static_cast<int>(std::floor((x - at.x() + 0.5) * fx)), 0, fw - 1);
    const bool sameWidth = fx == 1.0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const int sy = std::clamp(static_cast<int>(std::floor((y - at.y() + 0.5) * fy)), 0, fh - 1);
        const quint32* row = src + static_cast<std::size_t>(sy) * srcStride;
        quint32* out = bits + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(r.left());
        if (sameWidth) {
            std::memcpy(out, row + column[0], static_cast<std::size_t>(r.width()) * sizeof(quint32));
            continue;
        }
        for (std::size_t i = 0; i < column.size(); ++i) out[i] = row[column[i]];
    }
    return true;
}

void BasePic::PaintIcon(QPainter& p, const PictureItem& item, const QImage& icon)
{
    const QRectF r = ItemPixels(item);
    if (!Finite(r.x()) || !Finite(r.y()) || !Finite(r.width()) || !Finite(r.height())) return;
    if (!QRectF(rect()).intersects(r)) return;
    p.drawImage(r, icon);
}

int BasePic::PhotoAt(const QPointF& pixel) const
{
    int hit = -1;
    long long bestZ = 0;
    for (int i = 0; i < PictureArea::kPhotoSlots; ++i) {
        const PictureItem& item = area_.PhotoImg[static_cast<std::size_t>(i)];
        if (!item.visible || !photos_[static_cast<std::size_t>(i)]) continue;
        if (!ItemPixels(item).contains(pixel)) continue;
        if (hit < 0 || item.z > bestZ) {
            hit = i;
            bestZ = item.z;
        }
    }
    return hit;
}

void BasePic::mousePressEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (!PictureRect().contains(pos.toPoint())) return;
    if (event->button() == Qt::LeftButton && (!panAllowed_ || panAllowed_())) {
        dragging_ = true;
        dragStart_ = pos;
        dragOffset_ = {};
    }
    const QPointF u = ToPictureUnits(pos);
    emit PictureMousePressed(event->button(), u.x(), u.y(), PhotoAt(pos));
}

void BasePic::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (dragging_) {
        // The picture follows only once the pointer has really moved, so a
        // click does not shift it.
        const QPointF d = pos - dragStart_;
        if (!dragOffset_.isNull() || d.manhattanLength() >= QGuiApplication::styleHints()->startDragDistance()) {
            dragOffset_ = d;
            update();
        }
    }
    if (!PictureRect().contains(pos.toPoint())) return;
    const QPointF u = ToPictureUnits(pos);
    emit PictureMouseMoved(u.x(), u.y(), PhotoAt(pos));
}

void BasePic::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    const QPointF d = dragOffset_.isNull() ? QPointF() : event->position() - dragStart_;
    dragOffset_ = {};
    update();
    const double scale = Mapping().scale;
    if (d.isNull() || !(scale > 0.0)) return;
    emit PictureDragged(d.x() / scale, -d.y() / scale);
}

void BasePic::wheelEvent(QWheelEvent* event)
{
    // Wheels with finer steps add up to whole notches of 120.
    wheelRest_ += event->angleDelta().y();
    const int steps = wheelRest_ / 120;
    wheelRest_ -= steps * 120;
    event->accept();
    if (steps != 0) emit PictureWheelSteps(steps);
}

QImage BasePic::DefaultMarkIcon()
{
    // A small pennant on a pole.
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawLine(3, 1, 3, 15);
    QPainterPath flag;
    flag.moveTo(4, 1);
    flag.lineTo(14, 4);
    flag.lineTo(4, 8);
    flag.closeSubpath();
    p.fillPath(flag, QColor(255, 64, 160));
    p.setPen(QPen(QColor(120, 0, 60), 1));
    p.drawPath(flag);
    return img;
}

QImage BasePic::DefaultGPSPointIcon()
{
    // A red disc with a white ring: visible on dark and on bright ground.
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(230, 0, 0));
    p.drawEllipse(QRectF(2, 2, 12, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(6.5, 6.5, 3, 3));
    return img;
}

QImage BasePic::DefaultPointIcon()
{
    // A yellow cross hair with a dark outline.
    QImage img(20, 20, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(QPen(QColor(0, 0, 0), 3));
    p.drawLine(10, 1, 10, 19);
    p.drawLine(1, 10, 19, 10);
    p.setPen(QPen(QColor(255, 240, 0), 1));
    p.drawLine(10, 1, 10, 19);
    p.drawLine(1, 10, 19, 10);
    p.drawEllipse(QPoint(10, 10), 5, 5);
    return img;
}

}  // namespace tessaro::overlays
