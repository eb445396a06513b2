// BasePic: the main window's picture area. It maps the 788 x 678 picture units
// of its PictureArea model onto its pixels through one UnitMapping (aspect
// kept, centred in the widget; origin at the centre, y up) and paints the
// model: background, photograph slots in stacking order, the display list,
// then the mark icons, position marks and info label. Around the picture the
// widget shows its window colour.
//
// Navigation gestures: the wheel gives zoom steps; dragging with the left
// button (while no pointer tool wants the clicks) shifts the painted picture
// with the pointer and, on release, reports the dragged distance.
#pragma once

#include <QFont>
#include <QImage>
#include <QThreadPool>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "overlays/picture_area.h"
#include "overlays/picture_cache.h"

namespace tessaro::overlays {

class BasePic : public QWidget {
    Q_OBJECT
public:
    explicit BasePic(QWidget* parent = nullptr);
    ~BasePic() override;

    PictureArea& Area() { return area_; }
    const PictureArea& Area() const { return area_; }
    PictureCache& Cache() { return cache_; }

    // Loads a picture file into photograph slot `slot` (0..8). A picture that
    // cannot be loaded leaves the slot as it was and gives false.
    bool LoadPhoto(int slot, const std::string& path);
    // The picture a slot shows (null when none).
    const QImage* PhotoPicture(int slot) const;

    void SetMarkIcon(const QImage& icon) { markIcon_ = icon; update(); }
    void SetGPSPointIcon(const QImage& icon) { gpsIcon_ = icon; update(); }
    void SetPointIcon(const QImage& icon) { pointIcon_ = icon; update(); }

    // The mapping between picture units and widget pixels at the current
    // size; every conversion below goes through it.
    UnitMapping Mapping() const;
    QPointF ToPixel(double x, double y) const;
    QPointF ToPictureUnits(const QPointF& pixel) const;
    // The picture's rectangle in widget pixels (whole pixels).
    QRect PictureRect() const;

    // Asked when the left button goes down: whether a drag pans the view
    // (false while a pointer tool is on). Without it, dragging pans.
    void SetPanAllowed(std::function<bool()> allowed) { panAllowed_ = std::move(allowed); }
    // Scale factors of the levels a zoom step can reach next, relative to
    // the current one: after each full paint the photographs are scaled for
    // them in the background, so that the paint after the step finds them.
    // With factors set, a paint that comes before a copy is made does not
    // wait for it: the photograph's copy at another size is drawn stretched
    // in its place, and the picture is painted again once the copy is made.
    void SetZoomFactors(std::function<std::vector<double>()> factors) { zoomFactors_ = std::move(factors); }
    ScaledPictures& Scaled() { return scaledPictures_; }
    // The last paint drew a stand-in for a copy still being made.
    bool Provisional() const { return provisional_.load(); }
    // Waits until every copy asked for (whole or a part) is made.
    void WaitForWorkers()
    {
        scaledPictures_.WaitForWorkers();
        partPool_.waitForDone();
    }

    QSize sizeHint() const override;

    // The icons drawn when no picture file is given.
    static QImage DefaultMarkIcon();
    static QImage DefaultGPSPointIcon();
    static QImage DefaultPointIcon();

signals:
    // A mouse button went down or the pointer moved over the picture area;
    // (x, y) in picture units. `photoSlot` is the photograph under the
    // pointer (the one in front), -1 for the bare picture area.
    void PictureMousePressed(Qt::MouseButton button, double x, double y, int photoSlot);
    void PictureMouseMoved(double x, double y, int photoSlot);
    // The wheel turned by `steps` notches (positive: away from the user).
    void PictureWheelSteps(int steps);
    // The picture was dragged by (dx, dy) picture units (y up) and let go.
    void PictureDragged(double dx, double dy);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct ScaledPhoto {
        std::uint64_t serial = 0;
        QRect target;
        QRectF sourceRect;
        QImage image;
    };
    // What the picture layer (background, photographs, display list) was
    // last painted from.
    struct PhotoState {
        std::uint64_t serial = 0;  // which load the slot shows
        PictureItem item;
        friend bool operator==(const PhotoState& a, const PhotoState& b)
        {
            return a.serial == b.serial && a.item.left == b.item.left && a.item.top == b.item.top &&
                   a.item.width == b.item.width && a.item.height == b.item.height &&
                   a.item.visible == b.item.visible && a.item.z == b.item.z;
        }
    };
    std::array<PhotoState, PictureArea::kPhotoSlots> CurrentPhotoState() const;
    void PaintPictureLayer();
    // The photographs of the layer that are scaled whole, with their size
    // in pixels (what the layer needs, or would need at `factor`).
    std::vector<std::pair<int, QSize>> WholeScaled(double factor) const;
    // The part of the layer a slot's photograph covers (empty: nothing to
    // paint). `whole` is its copy scaled whole, drawn at `wholeSize`.
    QRect PhotoOnLayer(int slot, const ScaledPictures::Picture& whole, QSize wholeSize) const;
    // Where a slot's photograph goes on the layer and the picture copied
    // there (null: nothing to paint); `on` is its PhotoOnLayer. A
    // photograph too large to be scaled whole is scaled only where it
    // shows, inside `shows`.
    struct Placed {
        Placed() = default;
        Placed(QPoint a, const QImage* i, QSize s) : at(a), image(i), size(s) {}
        QPoint at;
        const QImage* image = nullptr;
        QSize size;  // drawn size; differs from the image's for a stand-in
        // Drawn over it at its own size: the part kept of a photograph whose
        // view moved.
        const QImage* over = nullptr;
        QPoint overAt;
    };
    Placed PlacePhoto(int slot, const ScaledPictures::Picture& whole, QSize wholeSize, const QRect& on, const QRect& shows);
    void PrepareNeighbourLevels();
    // Direct pixel access to the layer for the one-pixel figures.
    struct Raster {
        quint32* bits;
        std::size_t stride;  // pixels per row
        int width, height;
        void Plot(int x, int y, quint32 c)
        {
            if (x < 0 || y < 0 || x >= width || y >= height) return;
            bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)] = c;
        }
        void Line(int x0, int y0, int x1, int y1, quint32 c);
        void Circle(int cx, int cy, int radius, quint32 c);
        void Box(int x0, int y0, int x1, int y1, quint32 c);
        // Copies the opaque 32-bit picture `from` into the rectangle `to`
        // (inside the raster), nearest source pixel for each pixel: `from`
        // covers a rectangle of the raster `fx`, `fy` times its own size
        // whose corner is `at`. Done here rather than by the painter, which
        // splits large stretches over threads that scaling workers keep
        // busy. False when `from` is not such a picture.
        bool Put(const QImage& from, const QRect& to, QPoint at, double fx, double fy);
    };
    // What every figure of one paint shares: the layer's mapping, the
    // bounds beyond which figures are dropped, and the last font used.
    struct OpFrame {
        UnitMapping mapping;
        QRectF bounds;
        int fontSize = -1;
        bool fontBold = false;
        QFont font;
    };
    void PaintOp(QPainter& p, Raster& r, const DrawOp& op, OpFrame& frame);
    void PaintIcon(QPainter& p, const PictureItem& item, const QImage& icon);
    QRectF ItemPixels(const PictureItem& item) const;
    // The mapping of the layer, whose pixel (0, 0) is PictureRect's corner.
    UnitMapping LayerMapping() const;
    QRectF LayerItemPixels(const PictureItem& item) const;
    int PhotoAt(const QPointF& pixel) const;

    PictureArea area_;
    PictureCache cache_;
    std::array<std::shared_ptr<const QImage>, PictureArea::kPhotoSlots> photos_{};
    // The visible part of a photograph too large on screen to be scaled
    // whole, per slot.
    std::array<ScaledPhoto, PictureArea::kPhotoSlots> scaled_{};
    // Once the view moves or zooms, such a part is scaled by a worker of
    // its own while a stand-in is drawn (see PlacePhoto); the one asked for
    // last per slot.
    struct PartJob {
        ScaledPhoto wanted;                   // serial, target and source; image once made
        std::shared_ptr<const QImage> photo;  // kept alive while the worker reads it
        bool done = false;
    };
    std::mutex partLock_;
    std::array<std::shared_ptr<PartJob>, PictureArea::kPhotoSlots> partJobs_{};
    QThreadPool partPool_;
    ScaledPictures scaledPictures_;
    std::function<std::vector<double>()> zoomFactors_;
    std::function<bool()> panAllowed_;
    bool dragging_ = false;
    QPointF dragStart_;
    QPointF dragOffset_;  // pixels the painted picture follows the pointer by
    int wheelRest_ = 0;   // wheel turn not yet a whole notch
    // Each picture put into a slot gets a new serial number, so that nothing
    // painted from an earlier picture is taken for the new one.
    std::array<std::uint64_t, PictureArea::kPhotoSlots> serial_{};
    std::uint64_t lastSerial_ = 0;
    // The picture layer, kept between paints: a figure appended to the
    // display list is drawn onto it alone (like drawing on a picture that
    // keeps its image), everything else repaints the layer.
    QImage layer_;
    std::uint64_t layerGeneration_ = 0;
    std::size_t layerOps_ = 0;
    std::array<PhotoState, PictureArea::kPhotoSlots> layerPhotos_{};
    Rgb layerBack_;
    bool layerValid_ = false;
    // The layer shows a stand-in for a copy still being made.
    std::atomic<bool> provisional_{false};

    QImage markIcon_;
    QImage gpsIcon_;
    QImage pointIcon_;
};

}  // namespace tessaro::overlays
