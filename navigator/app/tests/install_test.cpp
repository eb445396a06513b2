// `make install` into a temporary prefix, and the installed navigator started
// as the desktop menu starts it: from a folder that is no program folder,
// without --home and TESSARO_HOME. It must run on a per-user folder seeded
// from the installed data, show the sample library's photographs, and leave
// the prefix as it was installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <string>

namespace {

// Every file below the folder with its size and change time.
std::map<QString, QString> Listing(const QString& folder)
{
    std::map<QString, QString> out;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f(it.next());
        out[f.filePath()] = QString::number(f.size()) + " " + f.lastModified().toString(Qt::ISODateWithMs);
    }
    return out;
}

TEST(InstalledProgram, DesktopStartUsesASeededUserFolderAndShowsTheSampleLibrary)
{
    QTemporaryDir dir;
    const QString prefix = dir.path() + "/prefix";
    QProcess install;
    install.start(QStringLiteral(TESSARO_CMAKE_COMMAND),
                  {"--install", QStringLiteral(TESSARO_BUILD_DIR), "--prefix", prefix});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    for (const char* file : {"bin/tessaro", "bin/tessaro-tool", "bin/tolvexctl", "bin/libtolvexcom32.so",
                             "share/tessaro/data0/GPSCom.bag", "share/tessaro/MapPicSample/MapFileData1.dat",
                             "share/tessaro/help/help1-overview.png", "share/tessaro/help/help2-sample.png",
                             "share/applications/tessaro.desktop", "share/icons/hicolor/scalable/apps/tessaro.svg"})
        EXPECT_TRUE(QFileInfo::exists(prefix + "/" + file)) << file;
    const std::string desktop = [&] {
        QFile f(prefix + "/share/applications/tessaro.desktop");
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }();
    EXPECT_NE(desktop.find("Name[ja]=GPSマップ\n"), std::string::npos);
    EXPECT_NE(desktop.find("Exec=tessaro\n"), std::string::npos);
    const auto installed = Listing(prefix);

    // A user's session: own home, data and config folders, started elsewhere.
    const QString elsewhere = dir.path() + "/desktop";
    const QString userData = dir.path() + "/xdg-data";
    QDir().mkpath(elsewhere);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("TESSARO_HOME");
    env.insert("HOME", dir.path() + "/home");
    env.insert("XDG_DATA_HOME", userData);
    env.insert("XDG_CONFIG_HOME", dir.path() + "/xdg-config");
    env.remove("TOLVEXCOMM_CONFIG_DIR");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString shot = dir.path() + "/shot.png";
    QProcess run;
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(elsewhere);
    run.start(prefix + "/bin/tessaro", {"--screenshot", shot});
    ASSERT_TRUE(run.waitForFinished(60000));
    const std::string errors = run.readAllStandardError().toStdString();
    EXPECT_EQ(run.exitCode(), 0) << errors;
    // The control was found beside the installed program.
    EXPECT_EQ(errors.find("live GPS tracking is unavailable"), std::string::npos) << errors;

    const QString user = userData + "/tessaro";
    EXPECT_TRUE(QFileInfo::exists(user + "/data0/GPSCom.bag"));
    EXPECT_TRUE(QFileInfo::exists(user + "/MapPicSample/MapFileData1.dat"));
    EXPECT_TRUE(QFileInfo::exists(user + "/20100508/20100508_drive.txt"));
    EXPECT_TRUE(QFileInfo::exists(user + "/help/help1-overview.png"));
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    EXPECT_EQ(Listing(prefix), installed);

    const QImage img(shot);
    ASSERT_FALSE(img.isNull());
    EXPECT_GE(img.width(), 1030);
    EXPECT_GE(img.height(), 700);
    // Photographs are drawn: the picture area is not the uniform grey of a
    // program without a map library.
    int photoPixels = 0;
    for (int y = 150; y < 550; y += 10)
        for (int x = 150; x < 650; x += 10)
            if (img.pixel(x, y) != qRgb(96, 96, 96)) ++photoPixels;
    EXPECT_GT(photoPixels, 1500) << "of 2000 sampled pixels";
}

}  // namespace
