// The picture area painted offscreen: pixels of the scale bar, the compass, a
// broken recorded track, overlapping photographs and mark icons; and the
// decode-once rule of the photograph slots.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QThread>
#include <QTemporaryDir>

#include "overlay_fixture.h"
#include "overlays/area_shrink.h"
#include "overlays/base_pic.h"

namespace tessaro::overlays {
namespace {

using testing::FakeFootprints;
using testing::UseLevel;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "overlays_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down among the other static objects at
    // exit is not safe.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

const QRgb kGround = qRgb(0, 128, 0);

struct Painted : ::testing::Test {
    QApplication& app = App();  // before any widget
    NavState s;
    BasePic pic;
    FakeFootprints maps;
    OverlayContext ctx{s, pic.Area(), &maps, [](double) {}};
    QTemporaryDir dir;

    // A one-colour photograph file.
    std::string PhotoFile(const char* name, QRgb colour, QSize size = {64, 48})
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(colour);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(img.save(path, "PNG"));
        return path.toStdString();
    }

    // Covers the whole picture with plain ground so that the grey boxes stand
    // out from the background.
    void GroundEverywhere()
    {
        ASSERT_TRUE(pic.LoadPhoto(0, PhotoFile("ground.png", kGround)));
        maps.maps[0] = {-5000, 5000, 5000, -5000};
        maps.shown = {"0"};
        s.ShownMapCount = 1;
    }

    QImage Render()
    {
        QImage img(788, 678, QImage::Format_RGB32);
        pic.render(&img);
        return img;
    }
};

// Picture units to pixel column and row at the default size.
int Col(double x) { return static_cast<int>(x + 394); }
int Row(double y) { return static_cast<int>(339 - y); }

bool AnyPixel(const QImage& img, QRect area, QRgb colour)
{
    area = area.intersected(img.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixel(x, y) == colour) return true;
    return false;
}

TEST_F(Painted, ScaleBarSitsInTheLowerLeftCorner)
{
    GroundEverywhere();
    s.ScaleLevel = 21;
    ShowAllData(ctx);
    const QImage img = Render();
    const QRgb grey = qRgb(96, 96, 96), bar = qRgb(224, 255, 0);
    // Box from (-384, -297) to (-164, -329).
    EXPECT_EQ(img.pixel(Col(-384), Row(-300)), grey);
    EXPECT_EQ(img.pixel(Col(-385), Row(-300)), kGround);
    EXPECT_EQ(img.pixel(Col(-164), Row(-300)), grey);
    EXPECT_EQ(img.pixel(Col(-163), Row(-300)), kGround);
    EXPECT_EQ(img.pixel(Col(-300), Row(-297)), grey);
    EXPECT_EQ(img.pixel(Col(-300), Row(-296)), kGround);
    EXPECT_EQ(img.pixel(Col(-300), Row(-329)), grey);
    EXPECT_EQ(img.pixel(Col(-300), Row(-330)), kGround);
    // Bar from -374 to -174 on y = -319, ticks every 40 units, 7 high.
    EXPECT_EQ(img.pixel(Col(-374), Row(-319)), bar);
    EXPECT_EQ(img.pixel(Col(-174), Row(-319)), bar);
    EXPECT_EQ(img.pixel(Col(-170), Row(-319)), grey);
    EXPECT_EQ(img.pixel(Col(-334), Row(-314)), bar);
    EXPECT_EQ(img.pixel(Col(-354), Row(-314)), grey);
    // Label "500m" right of and below (-314, -299), nothing of it further left.
    EXPECT_TRUE(AnyPixel(img, QRect(Col(-314), Row(-299), 60, 16), bar));
    EXPECT_FALSE(AnyPixel(img, QRect(Col(-330), Row(-297), 15, 14), bar));
}

TEST_F(Painted, NorthEastSign)
{
    GroundEverywhere();
    ShowAllData(ctx);
    const QImage img = Render();
    const QRgb sign = qRgb(0, 255, 192), grey = qRgb(96, 96, 96);
    EXPECT_EQ(img.pixel(Col(-380), Row(230)), sign);  // north-south line
    EXPECT_EQ(img.pixel(Col(-370), Row(250)), sign);  // east-west line
    EXPECT_EQ(img.pixel(Col(-385), Row(280)), sign);  // north arrowhead
    EXPECT_EQ(img.pixel(Col(-365), Row(255)), sign);  // east arrowhead
    EXPECT_EQ(img.pixel(Col(-358), Row(205)), grey);  // box to (-357, 195)
    EXPECT_EQ(img.pixel(Col(-356), Row(205)), kGround);
    // "N" below (-385, 317) above the line's top; "E" right of and below (-370, 245).
    EXPECT_TRUE(AnyPixel(img, QRect(Col(-385), Row(317), 14, 15), sign));
    EXPECT_TRUE(AnyPixel(img, QRect(Col(-370), Row(244), 12, 14), sign));
}

TEST_F(Painted, RecordedTrackBreaksWhereItLeavesTheWindow)
{
    UseLevel(s, 26);
    s.ShowRecordPoints = true;
    const double east[] = {-300, 300, 900, 300};
    const float north[] = {0, 0, 0, -200};
    for (int i = 0; i < 4; ++i) {
        s.RecordPointEasting[static_cast<std::size_t>(i)] = east[i];
        s.RecordPointNorthing[static_cast<std::size_t>(i)] = north[i];
    }
    s.RecordPointCount = 4;
    ShowAllData(ctx);
    const QImage img = Render();
    const QRgb track = qRgb(0, 208, 255);
    EXPECT_EQ(img.pixel(Col(0), Row(0)), track);        // inside both ends
    EXPECT_NE(img.pixel(Col(350), Row(0)), track);      // towards the outside point
    EXPECT_NE(img.pixel(Col(350), Row(-183)), track);   // back from it
    EXPECT_EQ(img.pixel(Col(302), Row(-200)), track);   // the dot of the last point
}

TEST_F(Painted, SmallerPhotographLiesInFront)
{
    UseLevel(s, 26);
    const QRgb red = qRgb(200, 0, 0), blue = qRgb(0, 0, 200);
    // The small one in slot 0, which starts behind slot 1.
    ASSERT_TRUE(pic.LoadPhoto(0, PhotoFile("small.png", red)));
    ASSERT_TRUE(pic.LoadPhoto(1, PhotoFile("large.png", blue, {640, 480})));
    maps.maps[5] = {-50, 40, 50, -40};
    maps.maps[6] = {-300, 250, 300, -250};
    maps.shown = {"5", "6"};
    s.ShownMapCount = 2;
    ShowAllData(ctx);
    const QImage img = Render();
    EXPECT_EQ(img.pixel(Col(0), Row(0)), red);
    EXPECT_EQ(img.pixel(Col(45), Row(35)), red);
    EXPECT_EQ(img.pixel(Col(60), Row(0)), blue);
    EXPECT_EQ(img.pixel(Col(-290), Row(240)), blue);
    EXPECT_EQ(img.pixel(Col(-310), Row(0)), qRgb(96, 96, 96));
}

TEST_F(Painted, MarksFromSixtyFiveOnShowOnlyTheirNumber)
{
    UseLevel(s, 26);
    QImage white(16, 16, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    pic.SetMarkIcon(white);
    s.GGALogShown = true;
    s.MKPointCount = 70;
    for (int i = 0; i < 70; ++i) {
        const auto u = static_cast<std::size_t>(i);
        s.MKPointNo[u] = static_cast<std::int16_t>(i + 1);
        // Marks 0..63 in a row at the top, 64..69 in a row at the bottom.
        s.MKPointEasting[u] = i < 64 ? static_cast<float>(-320 + i * 10) : static_cast<float>(-250 + (i - 64) * 90);
        s.MKPointNorthing[u] = i < 64 ? 200.0f : -200.0f;
    }
    ShowAllData(ctx);
    const QImage img = Render();
    const QRgb number = qRgb(255, 128, 255);
    // An icon of the first 64: 16 x 16 with its centre on the mark.
    EXPECT_EQ(img.pixel(Col(-320), Row(200)), qRgb(255, 255, 255));
    for (int i = 64; i < 70; ++i) {
        const double x = -250 + (i - 64) * 90;
        EXPECT_FALSE(AnyPixel(img, QRect(Col(x - 8), Row(-192), 16, 16), qRgb(255, 255, 255))) << i;
        EXPECT_TRUE(AnyPixel(img, QRect(Col(x + 13), Row(-208), 40, 20), number)) << i;
    }
}

TEST_F(Painted, FiguresAddedAfterAPaintShowAndAClearRemovesThem)
{
    UseLevel(s, 26);
    s.Track.TrackIndex = 2;
    s.Track.TrackCount = 2;
    s.Track.TrackEasting[0] = 100;  // the older fix, away from the marker
    ShowAllData(ctx);
    const QRgb trail = qRgb(100, 200, 255);
    EXPECT_NE(Render().pixel(Col(102), Row(0)), trail);
    DrawTrailPoint(ctx, 0, 0);
    EXPECT_EQ(Render().pixel(Col(102), Row(0)), trail);
    // A full redraw starts from a clear picture: the trail dot goes.
    ShowAllData(ctx);
    EXPECT_NE(Render().pixel(Col(102), Row(0)), trail);
    // Moving a photograph alone repaints it.
    ASSERT_TRUE(pic.LoadPhoto(0, PhotoFile("p.png", qRgb(10, 20, 30))));
    maps.maps[0] = {-50, 50, 50, -50};
    maps.shown = {"0"};
    s.ShownMapCount = 1;
    ShowAllData(ctx);
    EXPECT_EQ(Render().pixel(Col(-40), Row(0)), qRgb(10, 20, 30));
    pic.Area().PhotoImg[0].left = 200;
    EXPECT_EQ(Render().pixel(Col(-40), Row(0)), qRgb(96, 96, 96));
}

TEST_F(Painted, FarAwayFiguresAreSkippedSafely)
{
    UseLevel(s, 26);
    s.Track.TrackCount = 2;
    s.Track.TrackEasting[1] = 3.0e38f;
    s.Track.TrackNorthing[2] = -3.0e38f;
    s.MeasureCount = 2;
    s.MeasureEasting[0] = -3.0e38f;
    s.MeasureEasting[1] = 3.0e38f;
    ShowAllData(ctx);
    const QImage img = Render();
    EXPECT_EQ(img.pixel(Col(100), Row(100)), qRgb(96, 96, 96));
}

TEST_F(Painted, LargerWidgetScalesThePictureAndLeavesTheRestToTheWindow)
{
    // 1576 x 1400: two pixels a unit, the picture 22 pixels down.
    GroundEverywhere();  // at level 16: 0.17 units a metre
    pic.resize(1576, 1400);
    EXPECT_EQ(pic.PictureRect(), QRect(0, 22, 1576, 1356));
    s.MeasureCount = 2;  // a line from (-170, 51) to (170, 51) in units
    s.MeasureEasting[0] = -1000;
    s.MeasureEasting[1] = 1000;
    s.MeasureNorthing[0] = s.MeasureNorthing[1] = 300;
    ShowAllData(ctx);
    QImage img(1576, 1400, QImage::Format_RGB32);
    pic.render(&img);
    const QRgb measure = qRgb(255, 100, 100);
    auto at = [&](double x, double y) { return img.pixel(pic.ToPixel(x, y).toPoint()); };
    EXPECT_EQ(at(0, 51), measure);
    EXPECT_EQ(img.pixel(788, 22 + 2 * (339 - 51)), measure);
    EXPECT_EQ(img.pixel(788 + 2 * 160, 22 + 2 * (339 - 51)), measure);
    EXPECT_EQ(at(0, 53), kGround);
    EXPECT_EQ(at(-390, 0), kGround);
    // Above and below the picture: the window's colour, no ground.
    const QRgb window = pic.palette().color(QPalette::Window).rgb();
    EXPECT_EQ(img.pixel(700, 10), window);
    EXPECT_EQ(img.pixel(700, 1390), window);
    EXPECT_EQ(img.pixel(700, 23), kGround);
}

TEST_F(Painted, EachPhotographIsScaledOncePerSizeAndAheadForTheNextZoomStep)
{
    UseLevel(s, 26);
    ASSERT_TRUE(pic.LoadPhoto(0, PhotoFile("a.png", qRgb(200, 0, 0), {800, 600})));
    ASSERT_TRUE(pic.LoadPhoto(1, PhotoFile("b.png", qRgb(0, 0, 200), {800, 600})));
    maps.maps[0] = {-200, 150, 0, 0};
    maps.maps[1] = {0, 0, 200, -150};
    maps.shown = {"0", "1"};
    s.ShownMapCount = 2;
    const double up = s.Scales[27].unitsPerMetre / s.Scales[26].unitsPerMetre;
    const double down = s.Scales[25].unitsPerMetre / s.Scales[26].unitsPerMetre;
    pic.SetZoomFactors([&] { return s.ScaleLevel == 26 ? std::vector<double>{up, down} : std::vector<double>{}; });
    ShowAllData(ctx);
    Render();
    pic.Scaled().WaitForWorkers();
    // Two photographs at this level and at the two next to it.
    EXPECT_EQ(pic.Scaled().Made(), 6u);
    // The zoom steps find their copies made; so does the way back.
    for (int level : {27, 26, 25, 26}) {
        UseLevel(s, level);
        ShowAllData(ctx);
        const QImage img = Render();
        EXPECT_EQ(img.pixel(Col(PlaneToPicture(s, -100, 75).x), Row(PlaneToPicture(s, -100, 75).y)), qRgb(200, 0, 0)) << level;
        EXPECT_EQ(img.pixel(Col(PlaneToPicture(s, 100, -75).x), Row(PlaneToPicture(s, 100, -75).y)), qRgb(0, 0, 200)) << level;
    }
    pic.Scaled().WaitForWorkers();
    EXPECT_EQ(pic.Scaled().Made(), 6u);
    // A new picture in a slot is scaled anew.
    ASSERT_TRUE(pic.LoadPhoto(0, PhotoFile("c.png", qRgb(0, 200, 0), {800, 600})));
    ShowAllData(ctx);
    EXPECT_EQ(Render().pixel(Col(-100), Row(75)), qRgb(0, 200, 0));
}

// While zooming, a level whose copy is not made yet is painted at once with
// a stand-in in the same place (the copy of the level before, or for a
// photograph too large to be scaled whole the photograph itself,
// stretched); once the worker has made the copy the picture is painted
// again, sharp. Half the photograph's width in metres: 200 is scaled whole,
// 2000 (4000 x 3000 pixels on screen) only where it shows.
struct ZoomStandIn : Painted, ::testing::WithParamInterface<double> {};

TEST_P(ZoomStandIn, AZoomStepDoesNotWaitForTheNewCopyAndRepaintsWhenItIsMade)
{
    const double half = GetParam();
    UseLevel(s, 26);
    QImage photo(800, 600, QImage::Format_RGB32);
    photo.fill(qRgb(200, 0, 0));
    for (int y = 0; y < 600; ++y)
        for (int x = 400; x < 800; ++x) photo.setPixel(x, y, qRgb(0, 0, 200));
    const QString path = dir.filePath("halves.png");
    ASSERT_TRUE(photo.save(path, "PNG"));
    ASSERT_TRUE(pic.LoadPhoto(0, path.toStdString()));
    maps.maps[0] = {-half, half * 0.75, half, -half * 0.75};
    maps.shown = {"0"};
    s.ShownMapCount = 1;
    pic.SetZoomFactors([] { return std::vector<double>{}; });  // nothing is made ahead
    ShowAllData(ctx);
    Render();
    EXPECT_FALSE(pic.Provisional());

    int paints = 0;
    struct Counter : QObject {
        int& n;
        explicit Counter(int& count) : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) ++n;
            return false;
        }
    } counter(paints);
    pic.show();
    QApplication::processEvents();
    pic.installEventFilter(&counter);

    UseLevel(s, 27);
    ShowAllData(ctx);
    const QImage img = Render();
    EXPECT_TRUE(pic.Provisional());
    auto colourAt = [&](const QImage& i, double e, double n) {
        const PicturePoint at = PlaneToPicture(s, e, n);
        return i.pixel(Col(at.x), Row(at.y));
    };
    EXPECT_EQ(colourAt(img, -150, 0), qRgb(200, 0, 0));
    EXPECT_EQ(colourAt(img, 150, 0), qRgb(0, 0, 200));

    pic.WaitForWorkers();
    for (int i = 0; i < 200 && paints == 0; ++i) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
    EXPECT_GT(paints, 0) << "no repaint once the copy was made";
    const QImage sharp = Render();
    EXPECT_FALSE(pic.Provisional());
    EXPECT_EQ(colourAt(sharp, -150, 0), qRgb(200, 0, 0));
    EXPECT_EQ(colourAt(sharp, 150, 0), qRgb(0, 0, 200));

    // Moving the view: a copy scaled whole is the same copy, a part is
    // scaled anew behind a stand-in, which shows the same colours where
    // they are.
    s.ViewCentreEasting = 37;
    ShowAllData(ctx);
    const QImage moved = Render();
    EXPECT_EQ(pic.Provisional(), half > 1000);
    EXPECT_EQ(colourAt(moved, -150, 0), qRgb(200, 0, 0));
    EXPECT_EQ(colourAt(moved, 150, 0), qRgb(0, 0, 200));
    pic.WaitForWorkers();
    const QImage movedSharp = Render();
    EXPECT_FALSE(pic.Provisional());
    EXPECT_EQ(colourAt(movedSharp, 10, 0), qRgb(0, 0, 200));
    EXPECT_EQ(colourAt(movedSharp, -10, 0), qRgb(200, 0, 0));
    pic.removeEventFilter(&counter);
}

INSTANTIATE_TEST_SUITE_P(Photographs, ZoomStandIn, ::testing::Values(200.0, 2000.0));

// Copies asked for ahead and dropped before a worker started them are made
// when they are needed after all.
TEST(ScaledPicturesTest, ReadyStandInAndDroppedCopies)
{
    ScaledPictures scaled(std::size_t{64} << 20, 1);
    auto source = std::make_shared<const QImage>([] {
        QImage img(400, 300, QImage::Format_RGB32);
        img.fill(qRgb(10, 20, 30));
        return img;
    }());
    ScaledPictures::Picture out;
    EXPECT_FALSE(scaled.Ready(source, {200, 150}, out));
    EXPECT_EQ(scaled.StandIn(source, {200, 150}), nullptr);
    ASSERT_NE(scaled.Get(source, {100, 75}), nullptr);
    ASSERT_NE(scaled.Get(source, {300, 225}), nullptr);
    // The nearest in width, a larger one before a smaller one.
    ASSERT_NE(scaled.StandIn(source, {200, 150}), nullptr);
    EXPECT_EQ(scaled.StandIn(source, {200, 150})->width(), 300);
    EXPECT_EQ(scaled.StandIn(source, {90, 60})->width(), 100);
    EXPECT_TRUE(scaled.Ready(source, {100, 75}, out));
    EXPECT_EQ(out->size(), QSize(100, 75));

    for (int w = 10; w < 60; ++w) scaled.Prepare(source, {w, w});
    scaled.DropQueued();
    for (int w = 10; w < 60; ++w) {
        const auto copy = scaled.Get(source, {w, w});
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->size(), QSize(w, w));
    }
}

TEST(ShrinkByArea, EachPixelIsTheMeanOfTheAreaItCovers)
{
    // A checker of black and white pixels halved: every 2 x 2 square is one grey.
    QImage checker(8, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) checker.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QImage half = ShrinkByArea(checker, {4, 3});
    ASSERT_EQ(half.size(), QSize(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(half.pixel(x, y), qRgb(128, 128, 128)) << x << "," << y;

    // Three columns to two: the middle column is shared half and half.
    QImage three(3, 1, QImage::Format_RGB32);
    three.setPixel(0, 0, qRgb(0, 0, 0));
    three.setPixel(1, 0, qRgb(90, 30, 150));
    three.setPixel(2, 0, qRgb(240, 60, 0));
    const QImage two = ShrinkByArea(three, {2, 1});
    EXPECT_EQ(two.pixel(0, 0), qRgb(30, 10, 50));
    EXPECT_EQ(two.pixel(1, 0), qRgb(190, 50, 50));

    // A plain colour stays exactly that colour at any size, and a photograph
    // comes out as Qt's smooth scaling makes it, to a level or two.
    QImage plain(1920, 1080, QImage::Format_RGB32);
    plain.fill(qRgb(37, 201, 99));
    const QImage odd = ShrinkByArea(plain, {777, 333});
    EXPECT_EQ(odd.pixel(0, 0), qRgb(37, 201, 99));
    EXPECT_EQ(odd.pixel(776, 332), qRgb(37, 201, 99));
    QImage ramp(301, 157, QImage::Format_RGB32);
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x) ramp.setPixel(x, y, qRgb(x * 255 / 300, y * 255 / 156, (x * y) % 256));
    const QImage ours = ShrinkByArea(ramp, {160, 90}), qts = ramp.scaled(160, 90, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int worst = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 160; ++x) {
            worst = std::max(worst, std::abs(qRed(ours.pixel(x, y)) - qRed(qts.pixel(x, y))));
            worst = std::max(worst, std::abs(qGreen(ours.pixel(x, y)) - qGreen(qts.pixel(x, y))));
        }
    EXPECT_LE(worst, 2);

    // Nothing to shrink, or a size it cannot make by shrinking.
    EXPECT_TRUE(ShrinkByArea(QImage(), {4, 3}).isNull());
    EXPECT_TRUE(ShrinkByArea(checker, {0, 3}).isNull());
    EXPECT_TRUE(ShrinkByArea(checker, {9, 3}).isNull());
    EXPECT_EQ(ShrinkByArea(checker, {8, 6}), checker);
}

TEST(ResizeSmooth, EnlargingInterpolatesBetweenTheNearestPixels)
{
    // Two columns to four: each new pixel's centre lies a quarter or three
    // quarters of the way between the old ones; the outer ones repeat the edge.
    QImage two(2, 1, QImage::Format_RGB32);
    two.setPixel(0, 0, qRgb(0, 0, 0));
    two.setPixel(1, 0, qRgb(255, 128, 40));
    const QImage four = ResizeSmooth(two, {4, 2});
    ASSERT_EQ(four.size(), QSize(4, 2));
    EXPECT_EQ(four.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(four.pixel(1, 0), qRgb(64, 32, 10));
    EXPECT_EQ(four.pixel(2, 0), qRgb(191, 96, 30));
    EXPECT_EQ(four.pixel(3, 1), qRgb(255, 128, 40));

    // One axis shrinks while the other grows; a plain colour stays plain, and
    // a picture comes out close to Qt's smooth scaling.
    QImage plain(300, 200, QImage::Format_RGB32);
    plain.fill(qRgb(37, 201, 99));
    const QImage mixed = ResizeSmooth(plain, {1001, 77});
    EXPECT_EQ(mixed.pixel(0, 0), qRgb(37, 201, 99));
    EXPECT_EQ(mixed.pixel(1000, 76), qRgb(37, 201, 99));
    QImage ramp(157, 101, QImage::Format_RGB32);
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x) ramp.setPixel(x, y, qRgb(x * 255 / 156, y * 255 / 100, 0));
    const QImage ours = ResizeSmooth(ramp, {400, 250}), qts = ramp.scaled(400, 250, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int worst = 0;
    for (int y = 2; y < 248; ++y)
        for (int x = 2; x < 398; ++x) {
            worst = std::max(worst, std::abs(qRed(ours.pixel(x, y)) - qRed(qts.pixel(x, y))));
            worst = std::max(worst, std::abs(qGreen(ours.pixel(x, y)) - qGreen(qts.pixel(x, y))));
        }
    EXPECT_LE(worst, 2);
    EXPECT_TRUE(ResizeSmooth(two, {0, 1}).isNull());
}

TEST(ScalePart, APartIsTheCutOfTheWholeScaled)
{
    // Enlarged and shrunk: the part that lands on a rectangle of the whole
    // copy comes out as that rectangle of it (to a level), so parts scaled
    // on their own meet without a seam.
    QImage ramp(157, 101, QImage::Format_RGB32);
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x) ramp.setPixel(x, y, qRgb(x * 255 / 156, y * 255 / 100, (x * 7 + y * 13) % 256));
    for (const QSize whole : {QSize(400, 250), QSize(90, 60)}) {
        const QImage all = ResizeSmooth(ramp, whole);
        const QRect cut(whole.width() / 4, whole.height() / 3, whole.width() / 2, whole.height() / 2);
        const double fx = 157.0 / whole.width(), fy = 101.0 / whole.height();
        const QImage part = ScalePart(ramp, QRectF(cut.x() * fx, cut.y() * fy, cut.width() * fx, cut.height() * fy), cut.size());
        ASSERT_EQ(part.size(), cut.size());
        int worst = 0;
        for (int y = 0; y < cut.height(); ++y)
            for (int x = 0; x < cut.width(); ++x) {
                const QRgb a = part.pixel(x, y), b = all.pixel(cut.x() + x, cut.y() + y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            }
        EXPECT_LE(worst, 1) << whole.width();
    }
    // A part reaching past the picture by rounding is cut to it; one beside
    // it gives nothing.
    EXPECT_EQ(ScalePart(ramp, QRectF(100, 50, 57.0000001, 51), {114, 102}).size(), QSize(114, 102));
    EXPECT_TRUE(ScalePart(ramp, QRectF(200, 0, 10, 10), {20, 20}).isNull());
}

TEST_F(Painted, PicturesAreDecodedOnceWhileTheirSlotsShowThem)
{
    const std::string a = PhotoFile("a.png", qRgb(1, 2, 3));
    const std::string b = PhotoFile("b.png", qRgb(4, 5, 6));
    ASSERT_TRUE(pic.LoadPhoto(0, a));
    ASSERT_TRUE(pic.LoadPhoto(1, b));
    ASSERT_TRUE(pic.LoadPhoto(0, a));
    ASSERT_TRUE(pic.LoadPhoto(2, b));  // the same picture in a second slot
    EXPECT_EQ(pic.Cache().Decodes(), 2u);
    // A picture that cannot be read leaves the slot as it was.
    EXPECT_FALSE(pic.LoadPhoto(0, dir.filePath("missing.jpg").toStdString()));
    QFile junk(dir.filePath("junk.jpg"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    EXPECT_FALSE(pic.LoadPhoto(0, junk.fileName().toStdString()));
    ASSERT_NE(pic.PhotoPicture(0), nullptr);
    EXPECT_EQ(pic.PhotoPicture(0)->pixel(0, 0), qRgb(1, 2, 3));
}

}  // namespace
}  // namespace tessaro::overlays
