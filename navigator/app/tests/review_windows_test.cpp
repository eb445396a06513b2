// The review windows on the main window: the GGA log window (the sample
// logs, the chosen list, OK, the one-second display, the end of the
// display), the record file list and the mark-point list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"
#include "gps/data_load_frm.h"
#include "recording/review_dialogs.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

QListWidgetItem* Item(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

// A main window on a program folder of its own; messages are collected.
struct Review : ::testing::Test {
    QApplication& app = App();
    QTemporaryDir home;
    NavState state;
    std::vector<std::string> messages;
    std::unique_ptr<MainLumaraFrm> w;

    void Open()
    {
        w = std::make_unique<MainLumaraFrm>(state, home.path().toStdString());
        w->SetWait([](double) {});
        w->onMessage = [this](const QString& m) { messages.push_back(m.toStdString()); };
        w->Activate();
    }
};

TEST_F(Review, SampleLogsLoadAndShowWithoutTouchingTheRecording)
{
    UseSampleLibrary(home.path());
    const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) + "/data/20100508";
    QDir().mkpath(home.path() + "/20100508");
    for (const QString& name : QDir(source).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(source + "/" + name, home.path() + "/20100508/" + name));
    Open();
    MainLumaraFrm& w = *this->w;
    state.pRecordSTS = 1;  // a recording that writes

    w.LoadGPGGAData2Menu->trigger();
    ASSERT_TRUE(w.DataLoadFrm);
    gps::DataLoadFrm* frm = w.DataLoadFrm;
    EXPECT_EQ(frm->windowTitle(), QStringLiteral("GPSデータの読込み"));
    w.LoadGPGGAData2Menu->trigger();  // a second press: the same window
    EXPECT_EQ(w.DataLoadFrm, frm);

    QTest::mouseClick(frm->SampleCmd, Qt::LeftButton);
    EXPECT_EQ(frm->Lists().Folder(), (home.path() + "/20100508").toStdString());
    QListWidgetItem* walk = Item(frm->Lists().File1, QStringLiteral("20100508_walk_marks.txt"));
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(Item(frm->Lists().File1, QStringLiteral("20100508_drive.txt.about")), nullptr) << "*.txt only";
    for (int i = 0; i < 2; ++i) {
        const QRect r = frm->Lists().File1->visualItemRect(walk);
        QTest::mouseClick(frm->Lists().File1->viewport(), Qt::LeftButton, {}, r.center());
    }
    EXPECT_EQ(frm->DataFilesLst->count(), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], gps::kAlreadyChosenMessage);

    QTest::mouseClick(frm->LoadGGACmd, Qt::LeftButton);
    EXPECT_TRUE(state.GGALogLoaded);
    EXPECT_EQ(state.GGAPointCount, 600);
    EXPECT_EQ(state.MKPointCount, 10);
    EXPECT_FALSE(state.GGALogShown) << "drawn one second later";
    ASSERT_TRUE(w.DispGGATmr->isActive());
    EXPECT_EQ(w.DispGGATmr->interval(), 1000);
    w.DispGGATmr->stop();
    w.ShowGPGGAData();
    EXPECT_TRUE(state.GGALogShown);
    EXPECT_EQ(state.pRecordSTS, 1);
    EXPECT_FALSE(w.LoadGPGGAData2Menu->isEnabled());
    EXPECT_TRUE(w.EndRecordGGAMenu->isEnabled());
    EXPECT_TRUE(w.GPGGAFileLbl->isVisibleTo(&w));
    EXPECT_EQ(w.GPGGAFileLbl->text(), QStringLiteral("20100508_walk_marks.txt"));
    EXPECT_TRUE(w.BasePic->Area().MarkPointImg[0].visible);

    w.EndRecordGGAMenu->trigger();
    EXPECT_FALSE(state.GGALogShown);
    EXPECT_FALSE(w.BasePic->Area().MarkPointImg[0].visible);
    EXPECT_TRUE(w.LoadGPGGAData2Menu->isEnabled());
}

// A place that cannot be read (a stick pulled out, a home that is not
// there) is refused with the not-ready message; the lists stay where they
// were.
TEST_F(Review, APlaceThatCannotBeReadIsNotReady)
{
    gps::DataLoadFrm frm(nullptr, home.path().toStdString(), "/no/such/home");
    frm.showMessage = [this](const std::string& m) { messages.push_back(m); };
    const std::string before = frm.Lists().Folder();
    EXPECT_EQ(before, home.path().toStdString());
    emit frm.Lists().Drive1->activated(0);  // the home place
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], kPlaceNotReadyMessage);
    EXPECT_EQ(frm.Lists().Folder(), before);
    EXPECT_EQ(frm.Lists().Drive1->currentIndex(), 1) << "the program folder's place is selected again";
}

TEST_F(Review, ARecordFileIsChosenFromTheListAndShown)
{
    UseSampleLibrary(home.path());
    const QString day = home.path() + "/data2/20100622";
    QDir().mkpath(day);
    // Far from the view: the view moves to the track.
    WriteLines(day + "/20100622_0.dat", {"h1", "日本測地系: 第9系", "h3", "", "10:00:00,1000.0,2000.0,08,Navi,"});
    WriteLines(day + "/20100622_1.dat",
               {"h1", "日本測地系: 第9系", "h3", "", "10:00:00,90000.0,-90000.0,08,Navi,", "10:00:01,90010.0,-90000.0,08,Navi,"});
    Open();
    MainLumaraFrm& w = *this->w;

    w.DispRecordDataMenu->trigger();
    ASSERT_TRUE(w.ShowRecordDataFileFrm);
    recording::ShowRecordDataFileFrm* frm = w.ShowRecordDataFileFrm;
    QTableWidget* grid = frm->RecordedFileListGrid;
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("2010/06/22"));
    EXPECT_EQ(grid->item(1, 0)->text(), QString());
    emit grid->cellClicked(1, 0);  // the date column selects nothing
    EXPECT_EQ(frm->DatDataNameLbl->text(), QString());
    emit grid->cellClicked(1, 1);
    EXPECT_EQ(frm->DatDataNameLbl->text(), QStringLiteral("20100622/20100622_1.dat"));
    QTest::mouseClick(frm->OKCmd, Qt::LeftButton);
    EXPECT_TRUE(state.ShowRecordPoints);
    EXPECT_EQ(state.RecordPointCount, 2);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(w.RecordDataNameLbl->text(), QStringLiteral("20100622_1.dat"));
    EXPECT_FALSE(w.DispRecordDataMenu->isEnabled());
    EXPECT_DOUBLE_EQ(state.ViewCentreEasting, 90005.0);

    w.EndRecordDataMenu->trigger();
    EXPECT_FALSE(state.ShowRecordPoints);
    EXPECT_TRUE(w.DispRecordDataMenu->isEnabled());
}

TEST_F(Review, TheMarkListFollowsItsButton)
{
    Open();
    MainLumaraFrm& w = *this->w;
    state.MKPointCount = 2;
    state.MKPointTime[0] = "053012.00";
    state.MKPointTime[1] = "053112.00";
    state.MKPointEasting[1] = 30.0f;
    state.MKPointNorthing[1] = 40.0f;

    w.ShowMKPointRbn->click();
    ASSERT_TRUE(w.CheckMKPointFrm);
    QTableWidget* grid = w.CheckMKPointFrm->MKPointGrid;
    EXPECT_EQ(w.CheckMKPointFrm->windowTitle(), QStringLiteral("MKﾎﾟｲﾝﾄデータ"));
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(grid->item(1, 1)->text(), QStringLiteral("14:31:12"));
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("50.0"));
    QTest::mouseClick(w.CheckMKPointFrm->CloseCmd, Qt::LeftButton);
    EXPECT_FALSE(w.ShowMKPointRbn->isChecked());
    QApplication::processEvents();
    w.ShowMKPointRbn->click();
    ASSERT_TRUE(w.CheckMKPointFrm);
    w.ShowMKPointRbn->click();  // released: the list closes
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w.CheckMKPointFrm);
}

}  // namespace
}  // namespace tessaro::app
