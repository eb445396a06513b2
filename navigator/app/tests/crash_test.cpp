// The program killed while it records: the record file keeps every fix the
// program had recorded before it died, and a new recording does not reuse
// the file.
#include <gtest/gtest.h>

#include "app_test_support.h"
#include "recording/record_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

namespace {

using tessaro::app::testsupport::ReadAll;

std::vector<std::string> SplitCrLf(const std::string& text, std::string& rest)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
        lines.push_back(text.substr(start, p - start));
    rest = text.substr(start);
    return lines;
}

TEST(Crash, KilledWhileRecordingKeepsEveryRecordedFix)
{
    const QString source = QString::fromLocal8Bit(qgetenv("TESSARO_SOURCE_DIR"));
    QTemporaryDir dir;
    const QString home = dir.path() + "/home";
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    run.setProcessEnvironment(env);
    // The sample drive, 20 sentence sets a second; the script ends in exec,
    // so the process started is the program itself.
    run.start("bash", {source + "/tools/run-navigator.sh", QFileInfo(QStringLiteral(TESSARO_BIN_DIR)).dir().path(),
                       home, "--demo", "--demo-period", "50", "--record"});
    ASSERT_TRUE(run.waitForStarted(10000));

    std::vector<std::string> printed;
    QElapsedTimer clock;
    clock.start();
    std::string pending;
    while (printed.size() < 40 && clock.elapsed() < 60000 && run.state() == QProcess::Running) {
        run.waitForReadyRead(200);
        pending += run.readAllStandardOutput().toStdString();
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
            if (pending.rfind("recorded ", 0) == 0) printed.push_back(pending.substr(9, nl - 9));
    }
    ASSERT_GE(printed.size(), 40u) << run.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(run.processId()), SIGKILL);
    ASSERT_TRUE(run.waitForFinished(10000));
    // What the program said it had recorded before it died.
    pending += run.readAllStandardOutput().toStdString();
    for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
        if (pending.rfind("recorded ", 0) == 0) printed.push_back(pending.substr(9, nl - 9));

    const QStringList days = QDir(home + "/data2").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(days.size(), 1);
    const QString file = home + "/data2/" + days[0] + "/" + days[0] + "_0.dat";
    std::string partial;
    const std::vector<std::string> lines = SplitCrLf(ReadAll(file), partial);
    // The header, then one line per recorded fix in order: every fix printed
    // is there; at most the line being written when the kill came is cut.
    ASSERT_GE(lines.size(), 4 + printed.size());
    for (std::size_t i = 0; i < printed.size(); ++i)
        EXPECT_EQ(lines[4 + i].substr(0, 9), printed[i] + ",") << i;
    EXPECT_LE(lines.size(), 4 + printed.size() + 1);

    // The next recording of the day is proposed under a new name.
    const int year = days[0].left(4).toInt(), month = days[0].mid(4, 2).toInt(), day = days[0].mid(6, 2).toInt();
    const auto proposal = tessaro::recording::PrepareRecordStart(home.toStdString(), {year, month, day, 12, 0, 0});
    EXPECT_EQ(proposal.proposedName, days[0].toStdString() + "_1.dat");
}

}  // namespace
