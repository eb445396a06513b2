// The terminal in the control's window (offscreen): keys typed into the
// window reach the line through KeyPress and KeyTranslation, cells are
// drawn in their colours, many Disp calls give one repaint, and AutoSize
// sizes the control to its screen.
#include "control/control_window.h"
#include "control/tests/control_fixture.h"
#include "terminal/control_screen.h"

#include <tolvexcomm/dispids.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QWidget>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tolvex::control::testing
