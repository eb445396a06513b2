// The main window resized and navigated: where the picture goes for a table
// of window sizes and how its units map to pixels; the wheel, dragging the
// picture and the keys, against the zoom and pan buttons.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QShortcut>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <memory>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

struct Navigation : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    NavState state;
    std::unique_ptr<MainLumaraFrm> w;

    void Open(NavState& s, std::unique_ptr<MainLumaraFrm>& win)
    {
        win = std::make_unique<MainLumaraFrm>(s, home.path().toStdString());
        win->SetWait([](double) {});
        win->EndProgram = [] {};
        win->show();
        win->Activate();
    }
    void Open() { Open(state, w); }
    // Resizes the window so that its contents (below the menu bar) are `size`.
    void Contents(QSize size)
    {
        w->resize(size + QSize(0, w->menuBar()->height()));
        ASSERT_EQ(w->centralWidget()->size(), size);
    }
    // The picture's rectangle in the window's contents.
    QRect PictureInContents() const { return w->BasePic->PictureRect().translated(w->BasePic->pos()); }

    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e(type, at, w->BasePic->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(w->BasePic, &e);
    }
    void Drag(QPointF from, QPointF to)
    {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void Wheel(int delta)
    {
        const QPointF at(100, 100);
        QWheelEvent e(at, w->BasePic->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(w->BasePic, &e);
    }
};

TEST_F(Navigation, PictureFillsTheRoomOfEachWindowSizeWithItsAspectKept)
{
    Open();
    EXPECT_EQ(w->minimumSize(), QSize(1024, 768));
    EXPECT_EQ(w->centralWidget()->size(), QSize(1030, 748));  // the default size is the old fixed one
    const struct {
        QSize contents;
        QRect picture;  // in the contents
        double scale;
    } sizes[] = {
        {{1030, 748}, {6, 6, 788, 678}, 1.0},
        {{1024, 745}, {6, 7, 782, 673}, 782.0 / 788.0},  // a 1024 x 768 window
        {{1818, 1426}, {6, 6, 1576, 1356}, 2.0},
        {{2000, 1426}, {97, 6, 1576, 1356}, 2.0},         // wider: centred across
        {{1818, 2000}, {6, 293, 1576, 1356}, 2.0},        // taller: centred down
    };
    for (const auto& c : sizes) {
        Contents(c.contents);
        SCOPED_TRACE(testing::Message() << c.contents.width() << "x" << c.contents.height());
        EXPECT_EQ(PictureInContents(), c.picture);
        EXPECT_NEAR(w->BasePic->Mapping().scale, c.scale, 1e-12);
        // The panel keeps its size in the upper right corner.
        EXPECT_EQ(w->StartGPSCmd->mapTo(w->centralWidget(), QPoint(0, 0)), QPoint(c.contents.width() - 224, 102));
        // Units to pixels and back, corners and centre.
        const QPointF tl = w->BasePic->ToPixel(-394, 339), br = w->BasePic->ToPixel(394, -339);
        EXPECT_NEAR(tl.x() + w->BasePic->x(), c.picture.left(), 0.5);
        EXPECT_NEAR(tl.y() + w->BasePic->y(), c.picture.top(), 0.5);
        EXPECT_NEAR(br.x() - tl.x(), 788 * c.scale, 1e-9);
        EXPECT_NEAR(br.y() - tl.y(), 678 * c.scale, 1e-9);
        for (QPointF u : {QPointF(0, 0), QPointF(-394, 339), QPointF(123.25, -77.5)}) {
            const QPointF back = w->BasePic->ToPictureUnits(w->BasePic->ToPixel(u.x(), u.y()));
            EXPECT_NEAR(back.x(), u.x(), 1e-9);
            EXPECT_NEAR(back.y(), u.y(), 1e-9);
        }
        // A click reports the units under the pointer.
        double gotX = 1e9, gotY = 1e9;
        auto conn = QObject::connect(w->BasePic, &overlays::BasePic::PictureMousePressed,
                                     [&](Qt::MouseButton, double x, double y, int) { gotX = x, gotY = y; });
        const QPointF at = w->BasePic->ToPixel(100, -50);
        Mouse(QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
        Mouse(QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
        QObject::disconnect(conn);
        EXPECT_NEAR(gotX, 100, 1e-9);
        EXPECT_NEAR(gotY, -50, 1e-9);
    }
}

TEST_F(Navigation, EachWheelNotchIsOneZoomLevel)
{
    Open();
    ASSERT_EQ(state.ScaleLevel, 16);
    Wheel(120);
    EXPECT_EQ(state.ScaleLevel, 17);
    EXPECT_FLOAT_EQ(state.ViewScale, state.Scales[17].unitsPerMetre);
    Wheel(-240);
    EXPECT_EQ(state.ScaleLevel, 15);
    Wheel(60);  // half a notch: nothing yet
    EXPECT_EQ(state.ScaleLevel, 15);
    Wheel(60);
    EXPECT_EQ(state.ScaleLevel, 16);
}

TEST_F(Navigation, DragPansByTheDraggedGroundDistance)
{
    Open();
    Contents({1818, 1426});  // two pixels a unit
    const double e0 = state.ViewCentreEasting, n0 = state.ViewCentreNorthing;
    const QPointF centre = w->BasePic->ToPixel(0, 0);
    // 200 pixels right and 100 down: 100 units east, 50 south on the
    // picture; the ground follows the pointer, so the view centre goes
    // west and north.
    Drag(centre, centre + QPointF(200, 100));
    EXPECT_NEAR(state.ViewCentreEasting, e0 - 100.0 / state.ViewScale, 1e-6);
    EXPECT_NEAR(state.ViewCentreNorthing, n0 + 50.0 / state.ViewScale, 0.01);
    // No fix yet, so no mark, as after a pan button.
    EXPECT_FALSE(w->BasePic->Area().GPSPointImg.visible);

    // A click does not pan, nor does a drag while a pointer tool is on.
    const double e1 = state.ViewCentreEasting, n1 = state.ViewCentreNorthing;
    Drag(centre, centre + QPointF(1, 1));
    w->ClickPicRbn->setChecked(true);
    Drag(centre, centre + QPointF(200, 100));
    w->ClickPicRbn->setChecked(false);
    w->DispXYRbn->setChecked(true);
    Drag(centre, centre + QPointF(200, 100));
    EXPECT_EQ(state.ViewCentreEasting, e1);
    EXPECT_EQ(state.ViewCentreNorthing, n1);
}

TEST_F(Navigation, KeysDoWhatTheButtonsDo)
{
    const struct {
        int key;
        bool zoom;
        int button;
    } keys[] = {
        {Qt::Key_Left, false, 0}, {Qt::Key_Right, false, 3}, {Qt::Key_Up, false, 1},
        {Qt::Key_Down, false, 2}, {Qt::Key_Plus, true, 0},   {Qt::Key_Minus, true, 1},
    };
    Open();
    NavState byButton;
    std::unique_ptr<MainLumaraFrm> other;
    Open(byButton, other);
    for (const auto& k : keys) {
        SCOPED_TRACE(QKeySequence(k.key).toString().toStdString());
        QShortcut* shortcut = nullptr;
        for (QShortcut* sc : w->findChildren<QShortcut*>())
            if (sc->key() == QKeySequence(k.key)) shortcut = sc;
        ASSERT_NE(shortcut, nullptr);
        const int level = state.ScaleLevel;
        const double east = state.ViewCentreEasting, north = state.ViewCentreNorthing;
        emit shortcut->activated();
        EXPECT_TRUE(state.ScaleLevel != level || state.ViewCentreEasting != east || state.ViewCentreNorthing != north);
        (k.zoom ? other->ZoomUpDownCmd[static_cast<std::size_t>(k.button)]
                : other->MoveImgCmd[static_cast<std::size_t>(k.button)])
            ->click();
        EXPECT_EQ(state.ScaleLevel, byButton.ScaleLevel);
        EXPECT_EQ(state.ViewCentreEasting, byButton.ViewCentreEasting);
        EXPECT_EQ(state.ViewCentreNorthing, byButton.ViewCentreNorthing);
    }
    // A text box takes the keys it edits with before the shortcuts see them.
    for (int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Plus, Qt::Key_Minus}) {
        QKeyEvent override(QEvent::ShortcutOverride, key, Qt::NoModifier, QKeySequence(key).toString());
        override.ignore();
        QApplication::sendEvent(w->MapXTxt, &override);
        EXPECT_TRUE(override.isAccepted()) << key;
    }
}

}  // namespace
}  // namespace tessaro::app
