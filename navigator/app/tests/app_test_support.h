// Test support shared by the main window's test files: one QApplication for
// the whole test program, file helpers and a program folder with the sample
// map library.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <fstream>
#include <string>
#include <vector>

namespace tessaro::app::testsupport {

// The test program's QApplication. Never destroyed: tearing Qt down among the
// other static objects at exit is not safe.
inline QApplication& App()
{
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance() ? static_cast<QApplication*>(QApplication::instance())
                                                        : new QApplication(argc, argv);
    return *app;
}

// Writes the lines, each ended by CR LF, byte for byte.
inline void WriteLines(const QString& path, const std::vector<std::string>& lines)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    for (const auto& l : lines) out << l << "\r\n";
}

// The bytes of a file; empty when it cannot be read.
inline std::string ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}
inline std::string ReadAll(const std::string& path) { return ReadAll(QString::fromStdString(path)); }

// Copies the sample library into the program folder and points the settings
// files at it: zone 9, view centred on the sample area at level 16, port 1 at
// 4800 baud.
inline void UseSampleLibrary(const QString& home)
{
    const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR")) + "/data/MapPicSample";
    const QString target = home + "/MapPicSample";
    QDir().mkpath(target);
    for (const QString& name : QDir(source).entryList(QDir::Files)) QFile::copy(source + "/" + name, target + "/" + name);
    QDir().mkpath(home + "/data0");
    WriteLines(home + "/data0/CurrentSetting.dat",
               {target.toStdString(), " 16 ", "-6636.3,-33281.1", "-6636.3,-33281.1"});
    WriteLines(home + "/data0/GPSSetting.dat", {" 9 ", "36-00", "139-50", " 1 ", " 2 ", "4800,n,8,1"});
}

}  // namespace tessaro::app::testsupport
