// The pointer tools on the real main window, driven by mouse and key events
// on the sample library: measuring at the default and at a larger window
// size, the two tools releasing each other, the coordinate boxes following
// the pointer, typed positions and the info label of a right click.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"
#include "geodesy/plane_coords.h"
#include "mapview/map_view.h"
#include "shell/values.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

struct PointerWindowTest : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    NavState state;
    std::unique_ptr<MainLumaraFrm> w;
    std::vector<QString> messages;

    // The main window on the sample library at scale level `level`, with
    // the program's icons.
    void Open(int level)
    {
        UseSampleLibrary(home.path());
        WriteLines(home.path() + "/data0/CurrentSetting.dat",
                   {(home.path() + "/MapPicSample").toStdString(), PrintInteger(level), "-6636.3,-33281.1",
                    "-6636.3,-33281.1"});
        const QString ico = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) + "/data/ico";
        QDir().mkpath(home.path() + "/ico");
        QFile::copy(ico + "/RedPosition.ICO", home.path() + "/ico/RedPosition.ICO");
        w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
        w->SetWait([](double) {});
        w->EndProgram = [] {};
        w->onMessage = [this](const QString& m) { messages.push_back(m); };
        w->show();
        w->Activate();
    }
    // The pixel of a picture position, as the window shows it now.
    QPoint Pixel(double x, double y) const { return w->BasePic->ToPixel(x, y).toPoint(); }
    void Click(double x, double y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(w->BasePic, button, Qt::NoModifier, Pixel(x, y));
    }
    pointer::PicturePoint MarkerCentre() const
    {
        const auto& m = w->BasePic->Area().PointImg;
        return {m.left + 10, m.top - 10};
    }
};

TEST_F(PointerWindowTest, MeasuringAtLevel21AtTwoWindowSizes)
{
    Open(21);
    ASSERT_FLOAT_EQ(state.ViewScale, 0.4f);
    ASSERT_EQ(w->BasePic->Mapping().scale, 1.0);
    // At the default size and with the picture scaled to a larger window,
    // the same picture positions give the same lengths.
    for (QSize contents : {QSize(1030, 748), QSize(1678, 987)}) {
        SCOPED_TRACE(contents.width());
        w->resize(contents + QSize(0, w->height() - w->centralWidget()->height()));
        ASSERT_EQ(w->centralWidget()->size(), contents);
        QTest::mouseClick(w->ClickPicRbn, Qt::LeftButton);
        ASSERT_TRUE(w->ClickPicRbn->isChecked());
        EXPECT_EQ(w->cursor().shape(), Qt::BitmapCursor);  // the measuring pointer icon
        Click(0, 0);
        EXPECT_EQ(state.MeasureCount, 1);
        Click(30, 40);
        EXPECT_EQ(w->MeasDistLbl->text(), QStringLiteral("125.0"));
        Click(30, 0);
        EXPECT_EQ(w->MeasDistLbl->text(), QStringLiteral("225.0"));
        Click(-150, -120);  // 540.8 m more
        EXPECT_EQ(w->MeasDistLbl->text(), QStringLiteral("765.8"));
        if (contents.width() == 1030) SaveScreenshotIfAsked(w.get(), "measurement.png");

        // The points stay on the ground through a zoom and a pan.
        const float firstE = state.MeasureEasting[0];
        QTest::mouseClick(w->ZoomUpDownCmd[1], Qt::LeftButton);
        QTest::mouseClick(w->MoveImgCmd[0], Qt::LeftButton);
        EXPECT_EQ(state.MeasureCount, 4);
        EXPECT_EQ(state.MeasureEasting[0], firstE);
        const pointer::PicturePoint last = mapview::PlaneToPicture(state, state.MeasureEasting[3], state.MeasureNorthing[3]);
        EXPECT_NEAR(state.MeasureLastX, last.x, 1e-3);

        QTest::mouseClick(w->ClickPicRbn, Qt::LeftButton);
        EXPECT_EQ(w->MeasDistLbl->text(), QStringLiteral("0"));
        EXPECT_EQ(state.MeasureCount, 0);
        EXPECT_NE(w->cursor().shape(), Qt::BitmapCursor);
        QTest::mouseClick(w->ZoomUpDownCmd[0], Qt::LeftButton);  // back to level 21
        ASSERT_FLOAT_EQ(state.ViewScale, 0.4f);
    }
}

TEST_F(PointerWindowTest, TheTwoToolsReleaseEachOther)
{
    Open(16);
    QTest::mouseClick(w->ClickPicRbn, Qt::LeftButton);
    Click(0, 0);
    Click(10, 0);
    QTest::mouseClick(w->DispXYRbn, Qt::LeftButton);
    EXPECT_FALSE(w->ClickPicRbn->isChecked());
    EXPECT_EQ(state.PointerMode, 3);
    EXPECT_EQ(state.MeasureCount, 0);
    EXPECT_EQ(w->MeasDistLbl->text(), QStringLiteral("0"));
    EXPECT_TRUE(w->ShowLonLatPointCmd[0]->isEnabled());

    QTest::mouseClick(w->ClickPicRbn, Qt::LeftButton);
    EXPECT_FALSE(w->DispXYRbn->isChecked());
    EXPECT_EQ(state.PointerMode, 2);
    EXPECT_FALSE(state.CoordInputOn);
    EXPECT_FALSE(w->ShowLonLatPointCmd[1]->isEnabled());
}

TEST_F(PointerWindowTest, CoordinateDisplayFollowsThePointerAndTypedPositionsPlaceTheMarker)
{
    Open(16);
    // Disabled buttons take no click while the display is off.
    w->LatDTxt->setText("35");
    QTest::mouseClick(w->ShowLonLatPointCmd[1], Qt::LeftButton);
    EXPECT_FALSE(w->BasePic->Area().PointImg.visible);

    QTest::mouseClick(w->DispXYRbn, Qt::LeftButton);
    QTest::mouseMove(w->BasePic, Pixel(-120, 75));
    const double e = state.ViewCentreEasting - 120 / static_cast<double>(state.ViewScale);
    const double n = static_cast<double>(state.ViewCentreNorthing) + 75 / static_cast<double>(state.ViewScale);
    EXPECT_EQ(w->MapXTxt->text().toStdString(), FormatFixed(e, 1));
    EXPECT_EQ(w->MapYTxt->text().toStdString(), FormatFixed(n, 1));
    const geodesy::LatLon ll = geodesy::PlaneToLatLon(e, n, 36.0, 139.0 + 50.0 / 60);
    EXPECT_EQ(w->LatSTxt->text().toStdString(), pointer::ToDmsTexts(ll.lat).seconds);
    EXPECT_EQ(w->LonMTxt->text().toStdString(), pointer::ToDmsTexts(ll.lon).minutes);

    // The boxes hold the position under the pointer: the first button puts
    // the marker there.
    QTest::mouseClick(w->ShowLonLatPointCmd[0], Qt::LeftButton);
    ASSERT_TRUE(w->BasePic->Area().PointImg.visible);
    EXPECT_NEAR(MarkerCentre().x, -120, 0.1);
    EXPECT_NEAR(MarkerCentre().y, 75, 0.1);

    // Typed latitudes/longitudes of zone IX: one in sight is marked where it
    // lies; one out of sight moves the view there, with the marker in its
    // middle; one 1.3 deg of longitude from the origin is ignored.
    struct Case {
        const char* lat[3];
        const char* lon[3];
        bool recentres, marked;
    };
    const Case cases[] = {
        {{"35", "42", "7.4"}, {"139", "45", "40.73"}, false, true},
        {{"35", "30", "0"}, {"139", "20", "0"}, true, true},
        {{"35", "30", "0"}, {"141", "8", "0"}, false, false},
    };
    QLineEdit* const latBoxes[] = {w->LatDTxt, w->LatMTxt, w->LatSTxt};
    QLineEdit* const lonBoxes[] = {w->LonDTxt, w->LonMTxt, w->LonSTxt};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lon[0]);
        for (int i = 0; i < 3; ++i) {
            latBoxes[i]->clear();
            QTest::keyClicks(latBoxes[i], c.lat[i]);
            lonBoxes[i]->clear();
            QTest::keyClicks(lonBoxes[i], c.lon[i]);
        }
        w->BasePic->Area().PointImg.visible = false;
        const double centreBefore = state.ViewCentreEasting;
        QTest::mouseClick(w->ShowLonLatPointCmd[1], Qt::LeftButton);
        EXPECT_EQ(w->BasePic->Area().PointImg.visible, c.marked);
        EXPECT_EQ(state.ViewCentreEasting != centreBefore, c.recentres);
        if (!c.marked) continue;
        const double lat = NumericValue(c.lat[0]) + NumericValue(c.lat[1]) / 60 + NumericValue(c.lat[2]) / 3600;
        const double lon = NumericValue(c.lon[0]) + NumericValue(c.lon[1]) / 60 + NumericValue(c.lon[2]) / 3600;
        const geodesy::PlanePoint p = geodesy::LatLonToPlane(lat, lon, 36.0, 139.0 + 50.0 / 60);
        const pointer::PicturePoint at = mapview::PlaneToPicture(state, p.easting, p.northing);
        EXPECT_NEAR(MarkerCentre().x, at.x, 1e-6);
        EXPECT_NEAR(MarkerCentre().y, at.y, 1e-6);
        EXPECT_LT(std::abs(at.x), 394);
        EXPECT_LT(std::abs(at.y), 339);
        if (c.recentres) {
            EXPECT_NEAR(at.x, 0, 0.01);
        }
    }

    // Releasing the display hides the marker.
    QTest::mouseClick(w->DispXYRbn, Qt::LeftButton);
    EXPECT_FALSE(w->BasePic->Area().PointImg.visible);
}

TEST_F(PointerWindowTest, RightClickNearARecordedPointShowsItsTime)
{
    Open(21);
    // A reviewed record track with one point 100 units right of the centre,
    // first 0.05 below the picture row clicked, then 0.1 above it.
    state.ShowRecordPoints = true;
    state.RecordPointCount = 1;
    state.RecordPointEasting[0] = state.ViewCentreEasting + 100 / 0.4;
    state.RecordPointInfo[0] = "13:34:55";
    const auto& label = w->BasePic->Area().TimeHdLbl;

    state.RecordPointNorthing[0] = state.ViewCentreNorthing - 0.05f / 0.4f;
    Click(100, 10, Qt::RightButton);  // 10.05 units away
    EXPECT_FALSE(label.visible);
    state.RecordPointNorthing[0] = state.ViewCentreNorthing + 0.1f / 0.4f;
    Click(100, 10, Qt::RightButton);  // 9.9 units away
    ASSERT_TRUE(label.visible);
    EXPECT_EQ(w->BasePic->Area().TimeHdCaption, "13:34:55");
    EXPECT_NEAR(label.left, 100, 0.01);
    EXPECT_NEAR(label.top, 0.1, 0.01);
    Click(-50, -50);
    EXPECT_FALSE(label.visible);
}

}  // namespace
}  // namespace tessaro::app
