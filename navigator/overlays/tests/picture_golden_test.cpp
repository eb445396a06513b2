// The painted picture at the default size, pixel for pixel, against pictures
// kept in tests/data: photographs on every scaling path (halved first, scaled
// whole, only the visible part, tiny), one-pixel figures, icons, and the same
// scene after a zoom step. Text is left out: its pixels depend on the font
// files of the machine, not on this code.
//
// On a difference the painted picture is saved beside the test program as
// <name>.actual.png, for a look (or, after a deliberate change, as the new
// reference).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "overlays/base_pic.h"

namespace tessaro::overlays {
namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "overlays_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance() ? static_cast<QApplication*>(QApplication::instance())
                                                        : new QApplication(argc, argv);
    return *app;
}

// A photograph with fine structure (coloured blocks, thin lines, a
// gradient), so that any change of the scaling shows.
QImage Photo(QSize size, int seed)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, qRgb((x * 255 / size.width() + seed * 40) % 256, (y * 255 / size.height()) % 256,
                                    ((x / 24 + y / 18 + seed) % 3) * 100));
    QPainter p(&img);
    p.setPen(QPen(QColor(250, 250, 250), 1));
    for (int k = 0; k < size.width(); k += 37) p.drawLine(k, 0, k + size.height() / 3, size.height() - 1);
    return img;
}

struct Golden : ::testing::Test {
    QApplication& app = App();
    BasePic pic;
    QTemporaryDir dir;

    void Load(int slot, QSize size, int seed)
    {
        const QString path = dir.filePath(QStringLiteral("photo%1.png").arg(slot));
        ASSERT_TRUE(Photo(size, seed).save(path, "PNG"));
        ASSERT_TRUE(pic.LoadPhoto(slot, path.toStdString()));
    }
    void Place(int slot, double left, double top, double width, double height)
    {
        PictureItem& item = pic.Area().PhotoImg[static_cast<std::size_t>(slot)];
        item = {left, top, width, height, true, item.z};
    }
    // The scene at a zoom factor: every placement and figure scaled about
    // the centre, as the redraw after a zoom step places them.
    void Scene(double f)
    {
        PictureArea& a = pic.Area();
        a.ClearDrawing();
        Place(0, -250 * f, 140 * f, 500 * f, 281 * f);     // shrunk from its halved copy
        Place(1, -60 * f, 534 * f, 1900 * f, 1069 * f);    // scaled whole, wider than the picture
        Place(2, -1500 * f, 1125 * f, 3000 * f, 2250 * f); // only the visible part is scaled
        Place(3, 150 * f, -60 * f, 120 * f, 90 * f);       // halved twice first
        Place(4, -300 * f, -200 * f, 30 * f, 25 * f);      // smaller than any halving
        a.SendToBack(a.PhotoImg[2]);
        a.BringToFront(a.PhotoImg[0]);
        a.BringToFront(a.PhotoImg[3]);
        for (int i = 0; i < 40; ++i) {
            const double x = -380 + i * 19.0;
            a.Circle(x * f, (120 - i * 5) * f, 2, {0, 200, 255});
            a.Line(x * f, -300 * f, (x + 60) * f, (-200 + i) * f, {255, 100, 100});
        }
        a.FilledBox(-403, 320, -357, 195, {96, 96, 96});
        a.Line(-380, 300, -380, 200, {0, 255, 192});
        a.Line(-2000, -2000, 2000, 1500, {224, 255, 0});  // clipped at both ends
        a.GPSPointImg = {20 * f - 8, 30 * f + 8, 16, 16, true, a.GPSPointImg.z};
        a.MarkPointImg[0] = {-100 * f - 8, 50 * f + 8, 16, 16, true, a.MarkPointImg[0].z};
        a.BringToFront(a.GPSPointImg);
    }

    void ExpectSame(const QImage& painted, const char* name)
    {
        const QString refPath = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) +
                                QStringLiteral("/navigator/overlays/tests/data/%1.png").arg(name);
        const QImage ref = QImage(refPath).convertToFormat(QImage::Format_RGB32);
        int differ = ref.size() == painted.size() ? 0 : -1;
        QPoint first(-1, -1);
        for (int y = 0; differ >= 0 && y < ref.height(); ++y)
            for (int x = 0; x < ref.width(); ++x)
                if (ref.pixel(x, y) != painted.pixel(x, y) && differ++ == 0) first = {x, y};
        if (differ) painted.save(QDir::current().filePath(QStringLiteral("%1.actual.png").arg(name)), "PNG");
        EXPECT_EQ(differ, 0) << name << ": pixels differ (-1: no reference picture of this size), the first at " << first.x() << "," << first.y();
    }

    QImage Render()
    {
        QImage img(788, 678, QImage::Format_RGB32);
        pic.render(&img);
        return img;
    }
};

TEST_F(Golden, DefaultSizePictureIsUnchangedBeforeAndAfterAZoomStep)
{
    Load(0, {1920, 1080}, 0);
    Load(1, {1920, 1080}, 1);
    Load(2, {1200, 900}, 2);
    Load(3, {640, 480}, 3);
    Load(4, {48, 40}, 4);
    Scene(1.0);
    ExpectSame(Render(), "picture_level_a");
    Scene(1.2);
    ExpectSame(Render(), "picture_level_b");
    // Back to the first level: the same picture again.
    Scene(1.0);
    ExpectSame(Render(), "picture_level_a");
}

}  // namespace
}  // namespace tessaro::overlays
