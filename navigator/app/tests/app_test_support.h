// Test support shared by the main window's test files: one QApplication for
// the whole test program, file helpers, a program folder with the sample
// map library and a stand-in for the control.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include "app/gps_com.h"

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

// With TESSARO_SCREENSHOT_DIR set, saves the window as a PNG picture of that
// name there (the pictures of the README are made this way).
inline void SaveScreenshotIfAsked(QWidget* window, const char* name)
{
    const QString dir = QString::fromLocal8Bit(qgetenv("TESSARO_SCREENSHOT_DIR"));
    if (dir.isEmpty()) return;
    QApplication::processEvents();
    const QString path = dir + "/" + QString::fromLatin1(name);
    if (!window->grab().save(path, "PNG")) ADD_FAILURE() << "cannot write " << path.toStdString();
}

// A control stand-in: logs every property written and hands out queued
// input.
struct FakePort : GpsComPort {
    std::vector<std::string>& log;
    std::deque<std::string> input;
    int event = gps::kReceiveEvent;
    bool open = false;
    explicit FakePort(std::vector<std::string>& l) : log(l) {}

    bool SetCommPort(int port) override { return Log("CommPort=" + std::to_string(port)); }
    bool SetSettings(const std::string& s) override { return Log("Settings=" + s); }
    bool SetInBufferCount(int n) override { return Log("InBufferCount=" + std::to_string(n)); }
    bool SetInTimeout(int ms) override { return Log("InTimeout=" + std::to_string(ms)); }
    bool SetRThreshold(int n) override { return Log("RThreshold=" + std::to_string(n)); }
    bool SetInputLen(int n) override { return Log("InputLen=" + std::to_string(n)); }
    // Opening fails with this error when its number is not 0.
    ComError openError;
    bool SetPortOpen(bool o) override
    {
        Log(o ? "PortOpen=true" : "PortOpen=false");
        if (o && openError.number != 0) return false;
        open = o;
        return true;
    }
    ComError PortOpenError() override { return openError; }
    bool PortOpen() override { return open; }
    int CommEvent() override { return event; }
    int InBufferCount() override { return 0; }
    std::string Input() override
    {
        log.push_back("Input");
        if (input.empty()) return {};
        std::string s = input.front();
        input.pop_front();
        return s;
    }
    bool Log(const std::string& s)
    {
        log.push_back(s);
        return true;
    }
    // Delivers `bytes` with one receive notification.
    void Receive(const std::string& bytes)
    {
        input.push_back(bytes);
        onComm();
    }
};

}  // namespace tessaro::app::testsupport
