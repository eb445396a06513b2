// The start script of `make run`: it prepares a program folder from data/
// without touching the user's files, points the settings at the sample
// library, and the program shows the library's photographs.
#include <gtest/gtest.h>

#include "app_test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>
#include <string>

namespace {

using tessaro::app::testsupport::ReadAll;

TEST(RunScript, PreparesTheProgramFolderAndOpensTheSampleLibrary)
{
    const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR"));
    ASSERT_FALSE(source.isEmpty());
    QTemporaryDir dir;
    const QString home = dir.path() + "/home";
    // A user's earlier run: settings naming a library that is gone, and a
    // record file of their own.
    QDir().mkpath(home + "/data0");
    QDir().mkpath(home + "/data2");
    {
        std::ofstream(QString(home + "/data0/CurrentSetting.dat").toStdString(), std::ios::binary)
            << "/nowhere/maps\r\n 18 \r\n-6600.0,-33300.0\r\n-6600.0,-33300.0\r\n";
        std::ofstream(QString(home + "/data2/mine.dat").toStdString(), std::ios::binary) << "keep me\r\n";
    }
    const QString shot = dir.path() + "/shot.png";
    const QString bin = QStringLiteral(TESSARO_BIN_DIR);
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    run.setProcessEnvironment(env);
    // The script takes the build folder and looks for bin/tessaro in it.
    run.start("bash", {source + "/tools/run-navigator.sh", QFileInfo(bin).dir().path(), home, "--screenshot", shot});
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    EXPECT_EQ(ReadAll(home + "/data2/mine.dat"), "keep me\r\n");
    EXPECT_TRUE(QFile::exists(home + "/MapPicSample/MapFileData1.dat"));
    const std::string setting = ReadAll(home + "/data0/CurrentSetting.dat");
    EXPECT_EQ(setting, QString(QDir(home).canonicalPath() + "/MapPicSample\r\n 18 \r\n-6600.0,-33300.0\r\n"
                               "-6600.0,-33300.0\r\n").toStdString());
    EXPECT_NE(ReadAll(home + "/data0/GPSSetting.dat").find(" 9 \r\n36-00\r\n139-50\r\n"), std::string::npos);

    // The window shows photographs around the view centre.
    const QImage img(shot);
    ASSERT_FALSE(img.isNull());
    int photoPixels = 0;
    for (int y = 200; y < 500; y += 10)
        for (int x = 250; x < 550; x += 10)
            if (img.pixel(x, y) != qRgb(96, 96, 96)) ++photoPixels;
    EXPECT_GT(photoPixels, 800);
}

}  // namespace

namespace {

// The demo replays a short log through the real serial path, records it and
// takes its picture once the last fix is drawn: the record file holds every
// fix of the log when the picture is taken.
TEST(RunScript, DemoScreenshotShowsLiveTrackingOfAShortLog)
{
    const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR"));
    QTemporaryDir dir;
    const QString home = dir.path() + "/home";
    const QString log = dir.path() + "/short.txt";
    {
        std::ifstream in(QString(source + "/data/20100508/20100508_drive.txt").toStdString(), std::ios::binary);
        std::ofstream out(log.toStdString(), std::ios::binary);
        std::string line;
        for (int i = 0; i < 6 * 20 && std::getline(in, line); ++i) out << line << "\n";
    }
    const QString shot = dir.path() + "/demo.png";
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    run.setProcessEnvironment(env);
    run.start("bash", {source + "/tools/run-navigator.sh", QFileInfo(QStringLiteral(TESSARO_BIN_DIR)).dir().path(),
                       home, "--demo", log, "--screenshot", shot});
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    const QStringList days = QDir(home + "/data2").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(days.size(), 1);
    const std::string record = ReadAll(home + "/data2/" + days[0] + "/" + days[0] + "_0.dat");
    int lines = 0;
    for (std::size_t p = 0; (p = record.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(lines, 4 + 20);
    EXPECT_NE(record.find("10:00:19,"), std::string::npos);

    const QImage img(shot);
    ASSERT_FALSE(img.isNull());
    EXPECT_GE(img.width(), 1030);
}

}  // namespace
