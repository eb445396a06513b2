// The terminal through the control: Disp and Text with error 380, the
// cursor and history properties, the Emulation change, the selection, the
// capture file in its three modes, and typed keys with KeyPress.
#include "control/tests/control_fixture.h"
#include "terminal/control_screen.h"
#include "terminal/terminal.h"

#include <tolvexcomm/dispids.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tolvex::control::testing {
namespace {

namespace id = com::dispid;

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TerminalControl {
    TempDir dir;
    RecordingSite site;
    std::string answers;
    ControlPtr c;

    explicit TerminalControl(int emulation, int rows = 3, int columns = 6, int scrollRows = 0)
    {
        ControlParts parts;
        parts.makeTerminal = terminal::ScreenFactory([this](std::string_view b) { answers += b; });
        c = MakeControl(site, dir.path() / "none.ini", std::move(parts));
        EXPECT_TRUE(Put(*c, id::kRows, I2(rows)).ok());
        EXPECT_TRUE(Put(*c, id::kColumns, I2(columns)).ok());
        EXPECT_TRUE(Put(*c, id::kScrollRows, I2(scrollRows)).ok());
        EXPECT_TRUE(Put(*c, id::kEmulation, I2(emulation)).ok());
    }
    com::InvokeResult Disp(std::string bytes) { return Put(*c, id::kDisp, S(std::move(bytes))); }
    Variant Value(DispId dispid) { return Get(*c, dispid).value; }
};

TEST(TerminalPartTest, DispTextCursorAndHistory)
{
    TerminalControl t(2, 3, 6, 2);
    ASSERT_TRUE(t.Disp("ab\r\ncd\r\nef\r\ngh\x1b[31m").ok());
    EXPECT_EQ(t.Value(id::kText), S("cd\r\nef\r\ngh"));
    EXPECT_EQ(t.Value(id::kScrollText), S("\r\nab"));
    EXPECT_EQ(t.Value(id::kCursorRow), I2(3));
    EXPECT_EQ(t.Value(id::kCursorColumn), I2(3));
    // A position outside the screen raises 380; what came before it is shown.
    auto r = t.Disp("X\x1b[4;1HY");
    EXPECT_EQ(r.status, com::ErrorStatus(380));
    EXPECT_EQ(t.Value(id::kText), S("cd\r\nef\r\nghX"));
    // The next call is processed again.
    ASSERT_TRUE(t.Disp("\x1b[1;6HZ").ok());
    EXPECT_EQ(t.Value(id::kText), S("cd   Z\r\nef\r\nghX"));
    // Text: clear, top left, then the data.
    ASSERT_TRUE(Put(*t.c, id::kText, S("new")).ok());
    EXPECT_EQ(t.Value(id::kText), S("new\r\n\r\n"));
    EXPECT_EQ(Put(*t.c, id::kText, S("\x1b[9;9H")).status, com::ErrorStatus(380));
    // Cursor properties move the cursor; the next text goes there.
    ASSERT_TRUE(Put(*t.c, id::kCursorRow, I2(2)).ok());
    ASSERT_TRUE(Put(*t.c, id::kCursorColumn, I2(4)).ok());
    ASSERT_TRUE(t.Disp("q").ok());
    EXPECT_EQ(t.Value(id::kText), S("\r\n   q\r\n"));
    EXPECT_EQ(Put(*t.c, id::kCursorColumn, I2(7)).status, com::ErrorStatus(380));
}

TEST(TerminalPartTest, ReceivedDataSkipsAPositionOutsideTheScreen)
{
    TerminalControl t(4);
    // The path AutoProcess takes: no caller to raise 380 to.
    t.c->Terminal().Disp("a\x1b[9;9Hb");
    EXPECT_EQ(t.Value(id::kText), S("ab\r\n\r\n"));
}

TEST(TerminalPartTest, AnswersAndEmulationChange)
{
    TerminalControl t(3);
    ASSERT_TRUE(t.Disp("\x1bZhi\r\n\x82\xa0").ok());
    EXPECT_EQ(t.answers, "\x1b/Z");
    ASSERT_TRUE(Put(*t.c, id::kEmulation, I2(1)).ok());
    EXPECT_EQ(t.Value(id::kText), S("hi\r\n\x82\xa0\r\n"));
    EXPECT_EQ(t.Value(id::kCursorRow), I2(2));
    EXPECT_EQ(t.Value(id::kCursorColumn), I2(3));
    // TTY shows ESC sequences as they are.
    ASSERT_TRUE(t.Disp("\x1bZ").ok());
    EXPECT_EQ(t.answers, "\x1b/Z");
}

TEST(TerminalPartTest, SelectionAndBackspace)
{
    TerminalControl t(1);
    ASSERT_TRUE(t.Disp("abc\r\nde").ok());
    ASSERT_TRUE(Put(*t.c, id::kSelStart, I4(2)).ok());
    ASSERT_TRUE(Put(*t.c, id::kSelLength, I4(4)).ok());
    EXPECT_EQ(t.Value(id::kSelText), S("c\r\nd"));
    EXPECT_EQ(Put(*t.c, id::kSelLength, I4(8)).status, com::ErrorStatus(380));
    EXPECT_EQ(Put(*t.c, id::kSelStart, I4(-1)).status, com::ErrorStatus(380));
    ASSERT_TRUE(Put(*t.c, id::kBackspace, I2(1)).ok());
    ASSERT_TRUE(t.Disp("\b\b").ok());
    EXPECT_EQ(t.Value(id::kText), S("abc\r\nde\r\n"));
    ASSERT_TRUE(Put(*t.c, id::kBackspace, I2(0)).ok());
    ASSERT_TRUE(t.Disp("\b").ok());
    EXPECT_EQ(t.Value(id::kText), S("abc\r\n e\r\n"));
}

TEST(TerminalPartTest, CaptureFilesInTheThreeModes)
{
    struct Row {
        int mode;
        std::string expected;
    };
    // Three rows of six; the data scrolls "one" and "two" off the screen.
    const std::string data = "one\r\n\x1b[1mtwo\r\nthree\r\nfour\r\nfive";
    const Row rows[] = {
        {0, "one\r\ntwo\r\nthree\r\nfour\r\nfive"},
        {1, data},
        {2, "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n"},
    };
    for (const auto& r : rows) {
        TerminalControl t(2);
        ASSERT_TRUE(Put(*t.c, id::kCaptureMode, I2(r.mode)).ok());
        ASSERT_TRUE(t.Disp("before\x0c").ok());
        const auto file = t.dir.path() / "capture.txt";
        ASSERT_TRUE(Put(*t.c, id::kCaptureFilename, S(file.string())).ok());
        EXPECT_EQ(Put(*t.c, id::kCaptureFilename, S(file.string())).status, com::ErrorStatus(380));
        ASSERT_TRUE(t.Disp(data).ok());
        ASSERT_TRUE(Put(*t.c, id::kCaptureFilename, S("")).ok());
        EXPECT_EQ(Put(*t.c, id::kCaptureFilename, S("")).status, com::ErrorStatus(380));
        ASSERT_TRUE(t.Disp("after\r\n\r\n\r\n").ok());
        EXPECT_EQ(ReadFile(file), r.expected) << "mode " << r.mode;
        // Opening again appends.
        ASSERT_TRUE(Put(*t.c, id::kCaptureFilename, S(file.string())).ok());
        ASSERT_TRUE(t.Disp("x").ok());
        ASSERT_TRUE(Put(*t.c, id::kCaptureFilename, S("")).ok());
        EXPECT_EQ(ReadFile(file).substr(0, r.expected.size()), r.expected);
        EXPECT_GT(ReadFile(file).size(), r.expected.size());
    }
    TerminalControl t(2);
    EXPECT_EQ(Put(*t.c, id::kCaptureFilename, S((t.dir.path() / "no/such/dir/f").string())).status,
              com::ErrorStatus(380));
}

// Keys go to the line as the port would take them: KeyPress first for a
// character, KeyTranslation for a special key.
TEST(TerminalPartTest, KeysWithKeyPressAndKeyTranslation)
{
    std::string sent;
    bool open = true;
    std::vector<std::int16_t> pressed;
    std::int16_t replace = -1;  // what the KeyPress handler sets; -1 leaves the key
    TerminalHost host;
    host.fireKeyPress = [&](std::int16_t& key) {
        pressed.push_back(key);
        if (replace >= 0) key = replace;
    };
    KeyLine line{[&] { return open; }, [&](std::string_view b) { sent += b; }};
    StoredTerminal part(terminal::ScreenFactory(), host, {}, line);

    part.TypeCharacter('a');
    part.TypeCharacter(static_cast<std::int16_t>(0x82A0));  // a double-byte key, lead byte high
    replace = 0;  // swallowed
    part.TypeCharacter('b');
    replace = 'C';  // changed
    part.TypeCharacter('c');
    EXPECT_EQ(pressed, (std::vector<std::int16_t>{'a', static_cast<std::int16_t>(0x82A0), 'b', 'c'}));
    EXPECT_EQ(sent, "a\x82\xa0" "C");

    struct Row {
        int translation;
        terminal::SpecialKey key;
        std::string bytes;
    };
    const Row rows[] = {
        {0, terminal::SpecialKey::kUp, std::string("\0H", 2)},
        {2, terminal::SpecialKey::kLeft, "\x1b[1D"},
        {3, terminal::SpecialKey::kDelete, "\x7f"},
        {4, terminal::SpecialKey::kF2, "\x1bOQ"},
        {1, terminal::SpecialKey::kF1, ""},
    };
    PropertyRow keyRow{};
    keyRow.info.dispid = id::kKeyTranslation;
    for (const auto& r : rows) {
        sent.clear();
        const Variant given = Variant::I2(static_cast<std::int16_t>(r.translation));
        PutValue v{given, r.translation, {}};
        part.Put(keyRow, v);
        part.TypeSpecialKey(r.key);
        EXPECT_EQ(sent, r.bytes) << r.translation;
    }
    // Port closed or AutoProcess without KEY: nothing, and no KeyPress.
    open = false;
    sent.clear();
    pressed.clear();
    part.TypeCharacter('z');
    part.TypeSpecialKey(terminal::SpecialKey::kUp);
    EXPECT_EQ(sent, "");
    EXPECT_TRUE(pressed.empty());
}

}  // namespace
}  // namespace tolvex::control::testing
