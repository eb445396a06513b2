// The GGA log window on the main window: choosing the sample logs, the
// chosen list, OK, the one-second display and the end of the display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"
#include "gps/data_load_frm.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

QListWidgetItem* Item(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

TEST(GgaLogWindow, SampleLogsLoadAndShowWithoutTouchingTheRecording)
{
    App();
    QTemporaryDir home;
    UseSampleLibrary(home.path());
    const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) + "/data/20100508";
    QDir().mkpath(home.path() + "/20100508");
    for (const QString& name : QDir(source).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(source + "/" + name, home.path() + "/20100508/" + name));

    NavState state;
    MainLumaraFrm w(state, home.path().toStdString());
    w.SetWait([](double) {});
    std::vector<std::string> messages;
    w.onMessage = [&](const QString& m) { messages.push_back(m.toStdString()); };
    w.Activate();
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

}  // namespace
}  // namespace tessaro::app
