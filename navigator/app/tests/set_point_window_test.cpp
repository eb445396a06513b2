// The point window opened from the main window: a point file chosen with
// "開く", a click on a row marking the point and filling the coordinate
// boxes, a refused file, and the file remembered for the next opening.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

struct SetPointWindow : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    NavState state;
    std::unique_ptr<MainLumaraFrm> w;
    std::vector<QString> messages;

    void Open()
    {
        UseSampleLibrary(home.path());
        w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
        w->SetWait([](double) {});
        w->EndProgram = [] {};
        w->onMessage = [this](const QString& m) { messages.push_back(m); };
        w->show();
        w->Activate();
    }
    points::SetPointFrm* Window()
    {
        QTest::mouseClick(w->OpenFileCmd, Qt::LeftButton);
        QApplication::processEvents();
        return w->SetPointFrm.data();
    }
    void ClickRow(points::SetPointFrm* f, int row)
    {
        QTableWidget* grid = f->PointGrid;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid->visualRect(grid->model()->index(row, 0)).center());
    }
};

TEST_F(SetPointWindow, AClickedPointFillsTheBoxesAndIsMarkedOnTheMap)
{
    Open();
    const QString folder = home.path() + "/survey.v2";  // a dot in the folder's name
    QDir().mkpath(folder);
    WriteLines(folder + "/points.csv", {"BM1,-33052.977,-6517.124", "FAR , -30000.5 , -3000.25"});
    points::SetPointFrm* f = Window();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("ﾎﾟｲﾝﾄの設定"));
    ASSERT_TRUE(f->windowHandle());
    EXPECT_EQ(f->windowHandle()->transientParent(), w->windowHandle());
    EXPECT_EQ(Window(), f);  // opens once
    EXPECT_EQ(f->PointGrid->rowCount(), 0);

    f->ChooseFile = [&] { return (folder + "/points.csv").toStdString(); };
    QTest::mouseClick(f->OKCmd, Qt::LeftButton);
    ASSERT_EQ(f->PointGrid->rowCount(), 2);
    EXPECT_EQ(f->PointGrid->item(0, 2)->text(), QStringLiteral("-6517.124"));
    EXPECT_TRUE(messages.empty());

    // A point in sight is marked where it lies; one out of sight brings the
    // view to it.
    struct Case {
        int row;
        const char* x;
        const char* y;
        double easting, northing;
    };
    const Case cases[] = {{0, "-6517.124", "-33052.977", -6517.124, -33052.977},
                          {1, "-3000.25", "-30000.5", -3000.25, -30000.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const double centreBefore = state.ViewCentreEasting;
        ClickRow(f, c.row);
        EXPECT_EQ(w->MapXTxt->text(), QString::fromLatin1(c.x));
        EXPECT_EQ(w->MapYTxt->text(), QString::fromLatin1(c.y));
        const auto& marker = w->BasePic->Area().PointImg;
        ASSERT_TRUE(marker.visible);
        const mapview::PicturePoint at = mapview::PlaneToPicture(state, c.easting, c.northing);
        EXPECT_NEAR(marker.left + 10, at.x, 1e-6);
        EXPECT_NEAR(marker.top - 10, at.y, 1e-6);
        EXPECT_LT(std::abs(at.x), 394);
        EXPECT_LT(std::abs(at.y), 339);
        EXPECT_EQ(state.ViewCentreEasting != centreBefore, c.row == 1);
    }

    // A refused choice says why and leaves the grid and the remembered file.
    WriteLines(home.path() + "/points.v2.csv", {"X,1,2"});
    f->ChooseFile = [&] { return (home.path() + "/points.v2.csv").toStdString(); };
    QTest::mouseClick(f->OKCmd, Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("points.v2.csv")));
    EXPECT_EQ(f->PointGrid->rowCount(), 2);

    // Closed and opened again: the remembered file is loaded.
    QTest::mouseClick(f->CloseCmd, Qt::LeftButton);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w->SetPointFrm);
    points::SetPointFrm* again = Window();
    ASSERT_TRUE(again);
    ASSERT_EQ(again->PointGrid->rowCount(), 2);
    EXPECT_EQ(again->PointGrid->item(0, 0)->text(), QStringLiteral("BM1"));
}

}  // namespace
}  // namespace tessaro::app
