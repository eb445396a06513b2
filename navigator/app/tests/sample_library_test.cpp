// A program folder whose settings name no usable map library starts on the
// sample library of that folder, with the view on its photographs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_lumara_frm.h"
#include "app_test_support.h"

namespace tessaro::app {
namespace {

using namespace testsupport;

void CopySampleLibrary(const QString& home)
{
    const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) + "/data/MapPicSample";
    QDir().mkpath(home + "/MapPicSample");
    for (const QString& name : QDir(source).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(source + "/" + name, home + "/MapPicSample/" + name));
}

struct Case {
    const char* what;
    std::optional<std::vector<std::string>> setting;  // no file when empty
    bool keepsCentre;                                 // the settings' view lies on the sample
};

TEST(SampleLibraryAtStart, SettingsWithoutAUsableLibraryOpenTheSampleLibrary)
{
    App();
    const std::vector<Case> cases = {
        {"no settings file", std::nullopt, false},
        {"no library named", std::vector<std::string>{"", " 16 ", "0.0,0.0", "0.0,0.0"}, false},
        {"library folder gone, view elsewhere",
         std::vector<std::string>{"/nowhere/maps", " 16 ", "50000.0,20000.0", "0.0,0.0"}, false},
        {"library folder gone, view on the sample",
         std::vector<std::string>{"/nowhere/maps", " 17 ", "-6500.0,-33200.0", "0.0,0.0"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        CopySampleLibrary(home.path());
        QDir().mkpath(home.path() + "/data0");
        if (c.setting) WriteLines(home.path() + "/data0/CurrentSetting.dat", *c.setting);
        WriteLines(home.path() + "/data0/GPSSetting.dat", {" 9 ", "36-00", "139-50", " 1 ", " 2 ", "4800,n,8,1"});

        NavState state;
        MainLumaraFrm w(state, home.path().toStdString());
        w.SetWait([](double) {});
        w.Activate();
        EXPECT_EQ(state.MapPicFolder, (home.path() + "/MapPicSample").toStdString());
        EXPECT_EQ(state.Maps.MapCount, 12);
        EXPECT_GT(state.ShownMapCount, 0);
        if (c.keepsCentre) {
            EXPECT_DOUBLE_EQ(state.ViewCentreEasting, -6500.0);
            EXPECT_FLOAT_EQ(state.ViewCentreNorthing, -33200.0f);
        }
        QImage img(788, 678, QImage::Format_RGB32);
        w.BasePic->render(&img);
        int photoPixels = 0;
        for (int y = 100; y < 600; y += 20)
            for (int x = 100; x < 700; x += 20)
                if (img.pixel(x, y) != qRgb(96, 96, 96)) ++photoPixels;
        EXPECT_GT(photoPixels, 600) << "of 750 sampled pixels";
    }
}

// A library on a disk that is not plugged in is opened again next time:
// closing the program while the sample stands in keeps the stored folder and
// view in the settings; only the position, a real fix, is the run's own.
TEST(SampleLibraryAtStart, ClosingKeepsTheStoredLibraryTheSampleStoodInFor)
{
    App();
    QTemporaryDir home;
    CopySampleLibrary(home.path());
    QDir().mkpath(home.path() + "/data0");
    const QString settings = home.path() + "/data0/CurrentSetting.dat";
    WriteLines(settings, {"/media/stick/maps", " 20 ", "50000.0,20000.0", "1.0,2.0"});
    WriteLines(home.path() + "/data0/GPSSetting.dat", {" 9 ", "36-00", "139-50", " 1 ", " 2 ", "4800,n,8,1"});
    {
        NavState state;
        MainLumaraFrm w(state, home.path().toStdString());
        w.SetWait([](double) {});
        w.Activate();
        ASSERT_EQ(state.MapPicFolder, (home.path() + "/MapPicSample").toStdString());
        state.PosEasting = -6500.0;
        state.PosNorthing = -33200.0f;
        w.close();
    }
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              "/media/stick/maps\r\n 20 \r\n50000.0,20000.0\r\n-6500.0,-33200.0\r\n");
}

TEST(SampleLibraryAtStart, AnExistingLibraryFolderIsKept)
{
    App();
    QTemporaryDir home;
    CopySampleLibrary(home.path());
    const QString own = home.path() + "/own-maps";
    QDir().mkpath(own);
    QDir().mkpath(home.path() + "/data0");
    WriteLines(home.path() + "/data0/CurrentSetting.dat", {own.toStdString(), " 16 ", "0.0,0.0", "0.0,0.0"});
    NavState state;
    MainLumaraFrm w(state, home.path().toStdString());
    EXPECT_EQ(state.MapPicFolder, own.toStdString());
    EXPECT_EQ(state.Maps.MapCount, 0);
    EXPECT_DOUBLE_EQ(state.ViewCentreEasting, 0.0);
}

}  // namespace
}  // namespace tessaro::app
