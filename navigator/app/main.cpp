// tessaro: the navigator program.
//
//   tessaro [--home DIR] [--demo [LOG]] [--demo-period MS] [--record] [--log FILE]...
//           [--screenshot FILE] [--help-pictures DIR [--help-docs DIR]]
//
// --home DIR         program folder (else TESSARO_HOME, else the current folder;
//                    an installed program uses ~/.local/share/tessaro unless the
//                    current folder is a program folder: shell/program_folder.h)
// --demo [LOG]       live tracking from a replayed NMEA log (default: the
//                    sample drive in 20100508/ of the program folder), one
//                    sentence set per second, through a pseudo-terminal that
//                    the GPS port is mapped to
// --demo-period MS   the demo writes one sentence set every MS milliseconds
// --record           the demo also starts a recording (as the recording
//                    button and OK would) and prints "recorded hh:mm:ss" on
//                    standard output once each fix's record line is written
// --log FILE        shows a GGA log at start, as if chosen in the log
//                    window (repeatable: the files load in the order given);
//                    with --screenshot the mark-point list is opened too and
//                    is in the picture
// --screenshot FILE  no splash: builds the main window, runs its first
//                    activation, saves the window as a PNG picture and exits
//                    (works with QT_QPA_PLATFORM=offscreen). With --demo the
//                    log is replayed at ten sets per second with a recording
//                    running, and the picture is taken once its last sentence
//                    has been decoded and drawn
// --help-pictures DIR  no splash: makes the pictures of the help pages from
//                    the program's own windows on a scratch copy of the
//                    program folder's sample data, saves them in DIR as the
//                    help pages name them and exits (app/help_pictures.h)
// --help-docs DIR    with --help-pictures: also saves the two help windows,
//                    each with a page open, in DIR
#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/demo.h"
#include "app/help_pictures.h"
#include "app/main_lumara_frm.h"
#include "app/start_up_frm.h"
#include "recording/review_dialogs.h"
#include "state/nav_state.h"
#include "shell/program_folder.h"
#include "settings/settings.h"

namespace {

// The value of "--name VALUE" or "--name=VALUE", else empty.
QString ValueArgument(int argc, char** argv, const char* name)
{
    const std::size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0 && i + 1 < argc) return QString::fromLocal8Bit(argv[i + 1]);
        if (std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=') return QString::fromLocal8Bit(argv[i] + n + 1);
    }
    return {};
}

QString ScreenshotArgument(int argc, char** argv) { return ValueArgument(argc, argv, "--screenshot"); }

// --help-pictures DIR [--help-docs DIR]: 0 when every picture was saved.
int MakeHelpPictures(const std::string& home, const QString& folder, const QString& docs)
{
    std::vector<tessaro::app::MadePicture> pictures;
    std::string error;
    if (!tessaro::app::MakeHelpPictures(home, pictures, error) ||
        !tessaro::app::SavePictures(pictures, folder, error) ||
        (!docs.isEmpty() &&
         !tessaro::app::SavePictures(tessaro::app::MakeHelpWindowShots(folder.toStdString()), docs, error))) {
        std::fprintf(stderr, "tessaro: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// --demo, optionally followed by a log file.
bool DemoArgument(int argc, char** argv, std::string& log)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--demo") != 0) continue;
        if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) log = argv[i + 1];
        return true;
    }
    return false;
}

bool HasArgument(int argc, char** argv, const char* name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

// The value of "--name VALUE" as a number of milliseconds (1..60000), else `otherwise`.
int PeriodArgument(int argc, char** argv, const char* name, int otherwise)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) {
            char* end = nullptr;
            const long v = std::strtol(argv[i + 1], &end, 10);
            if (end != argv[i + 1] && *end == '\0' && v >= 1 && v <= 60000) return static_cast<int>(v);
        }
    return otherwise;
}

std::vector<std::string> LogArguments(int argc, char** argv)
{
    std::vector<std::string> logs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc) logs.emplace_back(argv[++i]);
        else if (std::strncmp(argv[i], "--log=", 6) == 0) logs.emplace_back(argv[i] + 6);
    }
    return logs;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    const std::string home = tessaro::OpenProgramFolder(argc, argv);
    const QString screenshot = ScreenshotArgument(argc, argv);
    if (const QString pictures = ValueArgument(argc, argv, "--help-pictures"); !pictures.isEmpty())
        return MakeHelpPictures(home, pictures, ValueArgument(argc, argv, "--help-docs"));
    std::string demoLog;
    const bool demo = DemoArgument(argc, argv, demoLog);
    if (demo && demoLog.empty()) demoLog = home + "/20100508/20100508_drive.txt";

    // The demo's port must not be redirected by the user's own profile.
    QTemporaryDir portConfig;
    if (demo) tessaro::app::UsePrivatePortConfig(portConfig.path());

    auto state = std::make_unique<tessaro::NavState>();
    std::unique_ptr<tessaro::app::MainLumaraFrm> mainWindow;
    std::unique_ptr<tessaro::app::LiveDemo> liveDemo;
    const bool record = HasArgument(argc, argv, "--record");
    auto startDemo = [&](int periodMs, bool recordToo) {
        tessaro::app::DemoOptions options;
        options.logPath = demoLog;
        options.periodMs = PeriodArgument(argc, argv, "--demo-period", periodMs);
        options.startRecording = recordToo || record;
        options.printRecorded = record;
        liveDemo = std::make_unique<tessaro::app::LiveDemo>(*mainWindow, options);
        std::string error;
        if (!liveDemo->Start(error)) {
            std::fprintf(stderr, "tessaro: the demo cannot run: %s\n", error.c_str());
            return false;
        }
        return true;
    };

    if (!screenshot.isEmpty() && demo) {
        mainWindow = std::make_unique<tessaro::app::MainLumaraFrm>(*state, home);
        // Messages are printed instead of waiting for a click.
        mainWindow->onMessage = [](const QString& text) {
            std::fprintf(stderr, "tessaro: %s\n", text.toLocal8Bit().constData());
        };
        mainWindow->show();
        mainWindow->Activate();
        if (!startDemo(100, true)) return 1;
        int status = 1;
        QObject::connect(liveDemo.get(), &tessaro::app::LiveDemo::Finished, [&](bool ok) {
            QApplication::processEvents();
            const bool saved = mainWindow->grab().save(screenshot, "PNG");
            if (!saved) std::fprintf(stderr, "tessaro: cannot write %s\n", screenshot.toLocal8Bit().constData());
            if (!ok)
                std::fprintf(stderr, "tessaro: only %d of %d fixes arrived\n", liveDemo->FixesDecoded(),
                             liveDemo->FixesExpected());
            status = saved && ok ? 0 : 1;
            QApplication::exit(status);
        });
        QApplication::exec();
        return status;
    }

    const std::vector<std::string> logs = LogArguments(argc, argv);
    if (!screenshot.isEmpty()) {
        mainWindow = std::make_unique<tessaro::app::MainLumaraFrm>(*state, home);
        mainWindow->onMessage = [](const QString& text) {
            std::fprintf(stderr, "tessaro: %s\n", text.toLocal8Bit().constData());
        };
        mainWindow->show();
        mainWindow->Activate();
        if (!logs.empty()) {
            mainWindow->LoadGGALogs(logs);
            mainWindow->ShowMKPointRbn->click();
        }
        QApplication::processEvents();
        QPixmap picture = mainWindow->grab();
        if (mainWindow->CheckMKPointFrm) {
            // The mark list where it stands over the main window.
            QPainter painter(&picture);
            const QPoint at = mainWindow->CheckMKPointFrm->geometry().topLeft() - mainWindow->geometry().topLeft();
            painter.drawPixmap(at, mainWindow->CheckMKPointFrm->grab());
        }
        const bool saved = picture.save(screenshot, "PNG");
        if (!saved) std::fprintf(stderr, "tessaro: cannot write %s\n", screenshot.toLocal8Bit().constData());
        return saved ? 0 : 1;
    }

    tessaro::app::StartUpFrm splash;
    QObject::connect(&splash, &tessaro::app::StartUpFrm::Finished, [&] {
        mainWindow = std::make_unique<tessaro::app::MainLumaraFrm>(*state, home);
        mainWindow->show();
        mainWindow->activateWindow();
        // Some window managers never activate a new window; the first
        // activation must run all the same (later ones do nothing).
        QTimer::singleShot(0, mainWindow.get(), [&, logs] {
            mainWindow->Activate();
            if (!logs.empty()) mainWindow->LoadGGALogs(logs);
            if (demo) startDemo(1000, false);
        });
    });
    splash.show();
    return QApplication::exec();
}
