// tessaro: the navigator program.
//
//   tessaro [--home DIR] [--screenshot FILE]
//
// --home DIR         program folder (else TESSARO_HOME, else the current folder)
// --screenshot FILE  no splash: builds the main window, runs its first
//                    activation, saves the window as a PNG picture and exits
//                    (works with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QFont>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/main_lumara_frm.h"
#include "app/start_up_frm.h"
#include "shell/run_state.h"
#include "shell/settings.h"

namespace {

QString ScreenshotArgument(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) return QString::fromLocal8Bit(argv[i + 1]);
        if (std::strncmp(argv[i], "--screenshot=", 13) == 0) return QString::fromLocal8Bit(argv[i] + 13);
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    const std::string home = tessaro::ResolveProgramFolder(argc, argv);
    const QString screenshot = ScreenshotArgument(argc, argv);

    auto state = std::make_unique<tessaro::NavState>();
    std::unique_ptr<tessaro::app::MainLumaraFrm> mainWindow;

    if (!screenshot.isEmpty()) {
        mainWindow = std::make_unique<tessaro::app::MainLumaraFrm>(*state, home);
        mainWindow->show();
        mainWindow->Activate();
        QApplication::processEvents();
        const bool saved = mainWindow->grab().save(screenshot, "PNG");
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
        QTimer::singleShot(0, mainWindow.get(), [&] { mainWindow->Activate(); });
    });
    splash.show();
    return QApplication::exec();
}
