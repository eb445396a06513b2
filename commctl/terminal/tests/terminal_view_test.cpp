// The terminal in the control's window (offscreen): keys typed into the
// window reach the line through KeyPress and KeyTranslation, cells are
// drawn in their colours, many Disp calls give one repaint, and AutoSize
// sizes the control to its screen.
#include "control/control_window.h"
#include "control/port_side.h"
#include "control/tests/control_fixture.h"
#include "terminal/control_screen.h"

#include <tolvexcomm/dispids.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace tolvex::control::testing {
namespace {

namespace id = com::dispid;

QApplication& App()
{
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "terminal_view_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

void Spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) App().processEvents(QEventLoop::AllEvents, 5);
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

struct WindowControl {
    TempDir dir;
    RecordingSite site;
    std::string sent;
    ControlPtr c;
    QWidget* window = nullptr;

    WindowControl()
    {
        App();
        ControlParts parts;
        parts.makeWindow = QtWindowFactory();
        parts.makeTerminalPart = [this](TerminalHost host) {
            KeyLine line{[] { return true; }, [this](std::string_view b) { sent += b; }};
            return std::make_unique<StoredTerminal>(terminal::ScreenFactory(), std::move(host), EngineLink{}, line);
        };
        c = MakeControl(site, dir.path() / "none.ini", std::move(parts));
        EXPECT_TRUE(Put(*c, id::kRows, I2(3)).ok());
        EXPECT_TRUE(Put(*c, id::kColumns, I2(10)).ok());
        EXPECT_TRUE(Put(*c, id::kEmulation, I2(2)).ok());
        window = c->Window();
        window->resize(400, 200);
        window->show();
        Spin(30);
    }
};

TEST(TerminalViewTest, KeysGoThroughKeyPressAndKeyTranslation)
{
    WindowControl t;
    ASSERT_TRUE(Put(*t.c, id::kKeyTranslation, I2(4)).ok());
    t.site.onEvent = [](DispId dispid, std::span<Variant> args) {
        if (dispid == com::eventid::kKeyPress && args[0] == Variant::I2('a')) args[0] = Variant::I2('b');
        if (dispid == com::eventid::kKeyPress && args[0] == Variant::I2('x')) args[0] = Variant::I2(0);
    };
    auto press = [&](int key, const QString& text) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(t.window, &e);
    };
    press(Qt::Key_A, "a");
    press(Qt::Key_X, "x");
    press(Qt::Key_Up, "");
    press(Qt::Key_F1, "");
    press(Qt::Key_unknown, QString::fromUtf8("あ"));
    press(Qt::Key_Tab, "\t");
    EXPECT_EQ(t.sent, "b\x1b[A\x1bOP\x82\xa0\t");
    std::vector<Variant> keys;
    for (const auto& e : t.site.events)
        if (e.dispid == com::eventid::kKeyPress) keys.push_back(e.args[0]);
    EXPECT_EQ(keys, (std::vector<Variant>{I2('a'), I2('x'), I2(static_cast<std::int16_t>(0x82A0)), I2(9)}));
}

TEST(TerminalViewTest, CellsInTheirColoursAndOneRepaintForManyCalls)
{
    WindowControl t;
    PaintCounter counter;
    t.window->installEventFilter(&counter);
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(Put(*t.c, id::kDisp, S("\x1b[H\x1b[41m  \x1b[m" + std::to_string(i))).ok());
    Spin(60);
    EXPECT_EQ(counter.paints, 1);
    const QImage image = t.window->grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(128, 0, 0));       // palette 4 (red) behind the first cells
    EXPECT_EQ(image.pixelColor(390, 190), QColor(255, 255, 255));  // the screen's background, 15
    // The colour filter changes what is drawn, not the cells: in MONO a
    // black foreground is drawn as the reference pair, black on white.
    ASSERT_TRUE(Put(*t.c, id::kColorFilter, I2(2)).ok());
    Spin(40);
    EXPECT_EQ(t.window->grab().toImage().pixelColor(1, 1), QColor(255, 255, 255));
    EXPECT_EQ(Get(*t.c, id::kText).value, S("  199\r\n\r\n"));
}

TEST(TerminalViewTest, AutoSizeTakesTheScreensSize)
{
    WindowControl t;
    ASSERT_TRUE(Put(*t.c, id::kAutoSize, B(true)).ok());
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    t.c->GetExtent(w1, h1);
    ASSERT_TRUE(Put(*t.c, id::kColumns, I2(20)).ok());
    ASSERT_TRUE(Put(*t.c, id::kRows, I2(6)).ok());
    t.c->GetExtent(w2, h2);
    EXPECT_GT(w2, w1);
    EXPECT_EQ((w2 - w1) % 10, 0);  // ten more cells
    EXPECT_EQ(h2, 2 * h1);         // twice the rows
    // The container cannot change it meanwhile.
    EXPECT_FALSE(t.c->SetExtent(50, 50));
}

TEST(TerminalViewTest, ScrollBarsShowWhenTheScreenDoesNotFit)
{
    WindowControl t;
    auto bars = [&] {
        std::string shown;
        Spin(30);
        for (auto* bar : t.window->findChildren<QScrollBar*>())
            if (bar->isVisible()) shown += bar->orientation() == Qt::Vertical ? "V" : "H";
        std::sort(shown.begin(), shown.end());
        return shown;
    };
    EXPECT_EQ(bars(), "");
    ASSERT_TRUE(Put(*t.c, id::kScrollRows, I2(5)).ok());
    EXPECT_EQ(bars(), "V");
    ASSERT_TRUE(Put(*t.c, id::kScrollRows, I2(0)).ok());
    ASSERT_TRUE(Put(*t.c, id::kColumns, I2(300)).ok());
    EXPECT_EQ(bars(), "H");
    ASSERT_TRUE(Put(*t.c, id::kRows, I2(100)).ok());
    EXPECT_EQ(bars(), "HV");
}

// The whole path on a pseudo-terminal: received data on the screen with
// AutoProcess BOTH, the VT52 answer and typed keys through the port.
TEST(TerminalViewTest, ThePortsDataOnTheScreenAndKeysOnTheLine)
{
    App();
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    setenv("TOLVEXCOMM_COM6", ttyname(slave), 1);
    close(slave);
    TempDir dir;
    setenv("TOLVEXCOMM_CONFIG_DIR", dir.path().c_str(), 1);
    RecordingSite site;
    ControlParts parts;
    parts.makePort = [] { return std::make_unique<EnginePort>(); };
    parts.makeTerminal = terminal::ScreenFactory();
    parts.makeWindow = QtWindowFactory();
    auto c = MakeControl(site, dir.path() / "tolvexcomm.ini", std::move(parts));
    for (auto [dispid, value] : {std::pair{id::kRows, 3}, {id::kColumns, 10}, {id::kEmulation, 3},
                                 {id::kAutoProcess, 3}, {id::kCommPort, 6}})
        ASSERT_TRUE(Put(*c, dispid, I2(value)).ok());
    ASSERT_TRUE(Put(*c, id::kPortOpen, B(true)).ok());
    QWidget* window = c->Window();
    window->show();

    auto readMaster = [&](std::size_t want) {
        std::string got;
        QElapsedTimer t;
        t.start();
        while (got.size() < want && t.elapsed() < 3000) {
            App().processEvents(QEventLoop::AllEvents, 5);
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 5) > 0) {
                char buf[256];
                const ssize_t n = read(master, buf, sizeof buf);
                if (n > 0) got.append(buf, static_cast<std::size_t>(n));
            }
        }
        return got;
    };
    const std::string data = "\x1bZhi\r\n\x1bY\"#x";
    ASSERT_EQ(write(master, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    EXPECT_EQ(readMaster(3), "\x1b/Z");
    QElapsedTimer t;
    t.start();
    while (Get(*c, id::kText).value != S("hi\r\n\r\n   x") && t.elapsed() < 3000) Spin(5);
    EXPECT_EQ(Get(*c, id::kText).value, S("hi\r\n\r\n   x"));
    QKeyEvent key(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, "k");
    QApplication::sendEvent(window, &key);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, "");
    ASSERT_TRUE(Put(*c, id::kKeyTranslation, I2(3)).ok());
    QApplication::sendEvent(window, &up);
    EXPECT_EQ(readMaster(3), "k\x1b" "A");
    ASSERT_TRUE(Put(*c, id::kPortOpen, B(false)).ok());
    close(master);
    unsetenv("TOLVEXCOMM_COM6");
}

}  // namespace
}  // namespace tolvex::control::testing
