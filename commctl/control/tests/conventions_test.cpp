// The property conventions over every dispatch member: who may read and
// write in which mode (383/394), what is refused (380, value unchanged), and
// that only a real change is announced.
#include "control_fixture.h"

#include "common/cp932.h"

#include <set>

namespace tolvex::control::testing {
namespace {

namespace id = com::dispid;

const Variant kNone;

struct Row {
    DispId dispid;
    const char* name;
    const char* access;     // as the object model writes it
    Variant newValue;       // a valid value other than the default (Empty: none)
    Variant invalid;        // a value refused with 380 (Empty: none)
    int getError = 0;       // error of an allowed read on a closed port without terminal
    int putError = 0;       // error of an allowed write of newValue in that state
    bool readsBack = true;  // newValue reads back and is announced
};

// The object model's table of members. The extra columns describe this
// build: the port stays closed (no device), there is no terminal and no
// transfer.
const std::vector<Row>& Members()
{
    static const std::vector<Row> rows = {
        {1, "Break", "W", B(true), kNone, 0, 0, false},
        {2, "CDHolding", "R run", kNone, kNone},
        {3, "CommEvent", "R run", kNone, kNone},
        {4, "CommPort", "RW", I2(3), I2(0)},
        {5, "CTSHolding", "R run", kNone, kNone},
        {6, "DSRHolding", "R run", kNone, kNone},
        {7, "DTREnable", "RW", B(false), kNone},
        {8, "Handshaking", "RW", I2(2), I2(4)},
        {9, "InBufferSize", "RW", I2(4000), I2(-1)},
        {10, "InBufferCount", "RW, read run", I2(0), I2(5), 0, 0, false},
        {11, "Input", "R", kNone, kNone, kErrPortMustBeOpen},
        {12, "InputLen", "RW", I2(5), I2(-1)},
        {13, "Interval", "RW", I4(100), I4(-1)},
        {14, "InTimeout", "RW", I4(2000), I4(-1)},
        {15, "LineInput", "R run", kNone, kNone, kErrPortMustBeOpen},
        {16, "NullDiscard", "RW", B(true), I2(2)},
        {17, "OutBufferSize", "RW", I2(1024), I2(-5)},
        {18, "OutBufferCount", "RW, read run", I2(0), I2(3), 0, 0, false},
        {19, "Output", "W", S("ATZ\r"), kNone, 0, kErrPortMustBeOpen, false},
        {20, "ParityReplace", "RW", S("?"), kNone},
        {21, "PortOpen", "RW, read run", B(true), kNone, 0, kErrPortNotOpen, false},
        {22, "RThreshold", "RW", I2(40), I2(-1)},
        {23, "RTSEnable", "RW", B(false), kNone},
        {24, "Settings", "RW", S("4800,N,8,1"), S("9601,n,8,1")},
        {25, "SThreshold", "RW", I2(10), I2(-1)},
        {26, "Columns", "RW", I2(132), I2(0)},
        {27, "Rows", "RW", I2(40), I2(0)},
        {28, "FontName", "RW, read run", S("Courier"), S("")},
        {29, "FontSize", "RW, read run", Variant::R4(12.0f), Variant::R4(-1.0f)},
        {30, "CursorRow", "RW run", I2(5), I2(0)},
        {31, "CursorColumn", "RW run", I2(7), I2(81)},
        {32, "ForeColor", "RW", I2(12), I2(16)},
        {33, "BackColor", "RW", I2(1), I2(-1)},
        {34, "Disp", "W", S("abc"), kNone, 0, 0, false},
        {35, "Text", "RW, read run", S("hello"), kNone, 0, 0, false},
        {36, "Emulation", "RW", I2(4), I2(5)},
        {37, "AutoProcess", "RW", I2(2), I2(4)},
        {38, "AutoSize", "RW", B(true), I2(2)},
        {39, "AutoScroll", "RW", I2(1), I2(5)},
        {40, "FontBold", "RW, read run", B(true), kNone},
        {41, "FontUnderline", "RW, read run", B(true), kNone},
        // Opening and closing the capture file: CaptureFileOpensAppendsAndCloses.
        {42, "CaptureFilename", "RW run", kNone, kNone},
        {43, "ScrollRows", "RW", I2(100), I2(-1)},
        {44, "ScrollText", "R run", kNone, kNone},
        {45, "FontItalic", "RW, read run", B(true), kNone},
        {46, "ColorFilter", "RW", I2(2), I2(3)},
        {47, "Download", "W", S("in.bin"), kNone, 0, kErrPortMustBeOpen, false},
        {48, "Upload", "W", S("out.bin"), kNone, 0, kErrPortMustBeOpen, false},
        {49, "XferStatus", "RW run", I2(6), kNone, 0, 0, false},
        {50, "XferSourceFilename", "RW, read run", S("a.txt"), kNone},
        {51, "XferTransferred", "RW, read run", I4(100), kNone},
        {52, "XferFileSize", "R run", kNone, kNone},
        {53, "XferProtocol", "RW", I2(2), I2(9)},
        {54, "XferStatusDialog", "RW", I2(1), I2(3)},
        {55, "SelLength", "RW run", kNone, I4(1), kErrGetNotSupported},
        {56, "SelStart", "RW run", kNone, I4(-1), kErrGetNotSupported},
        {57, "SelText", "RW, read run", S("x"), kNone, kErrGetNotSupported, 0, false},
        {58, "XferMessage", "R run", kNone, kNone},
        {59, "XferDestFilename", "RW, read run", S("b.txt"), kNone, 0, 0, false},
        {60, "XferCarrierAbort", "RW", B(false), kNone},
        {61, "SmoothScroll", "RW", B(true), kNone},
        {62, "CursorType", "RW", I2(1), I2(2)},
        {63, "KeyTranslation", "RW", I2(4), I2(5)},
        {64, "XferFileDate", "R run", kNone, kNone},
        {65, "XferFileTime", "R run", kNone, kNone},
        {66, "AutoZModem", "RW", B(true), kNone},
        {67, "CommID", "R run", kNone, kNone},
        {68, "Backspace", "RW", I2(1), I2(2)},
        {69, "Echo", "RW", B(true), I2(2)},
        {70, "CaptureMode", "RW", I2(1), I2(3)},
        {71, "AnswerBack", "RW", S("ok"), kNone},
        {72, "Appearance", "RW, write design", I2(1), I2(2)},
        {73, "InputB", "R", kNone, kNone, kErrPortMustBeOpen},
        {74, "OutputB", "W", S("\x01\x02"), kNone, 0, kErrPortMustBeOpen, false},
        {-515, "hWnd", "R", kNone, kNone},
        {-512, "Font", "RW", S("Courier;10;1;0;0;0"), S("Courier;0;0;0;0;0")},
    };
    return rows;
}

bool Readable(const std::string& access, bool run)
{
    if (access == "W") return false;
    if (access.find("run") != std::string::npos) return run;  // R run, RW run, RW read run
    return true;
}

bool Writable(const std::string& access, bool run)
{
    if (access == "R" || access == "R run") return false;
    if (access == "RW run") return run;
    if (access == "RW, write design") return !run;
    return true;
}

TEST(ConventionsTest, TableCoversEveryMemberWithItsDispid)
{
    std::set<DispId> seen;
    for (const auto& row : Members()) {
        const PropertyRow* p = FindPropertyByName(row.name);
        ASSERT_NE(p, nullptr) << row.name;
        EXPECT_EQ(p->info.dispid, row.dispid) << row.name;
        seen.insert(row.dispid);
    }
    for (const auto& p : PropertyRows())
        if (p.info.type != TypeKind::Method) {
            EXPECT_TRUE(seen.count(p.info.dispid)) << p.info.name;
        }
}

class MemberTest : public ::testing::TestWithParam<bool> {};

TEST_P(MemberTest, AccessRangeAndChangeNotification)
{
    const bool run = GetParam();
    TempDir dir;
    for (const auto& row : Members()) {
        SCOPED_TRACE(std::string(row.name) + (run ? " at run time" : " at design time"));
        RecordingSite site;
        site.userMode = run;
        auto c = MakeControl(site, dir.path() / "none.ini");
        const std::string access = row.access;

        // Reading.
        auto got = Get(*c, row.dispid);
        int wantGet = Readable(access, run) ? row.getError : kErrGetNotSupported;
        EXPECT_EQ(got.error(), wantGet);
        if (wantGet) {
            EXPECT_FALSE(got.ok());
        }

        // Writing a new value.
        if (!row.newValue.empty() || !Writable(access, run)) {
            Variant value = row.newValue.empty() ? Variant::I2(0) : row.newValue;
            auto put = Put(*c, row.dispid, value);
            int wantPut = Writable(access, run) ? row.putError : kErrSetNotSupported;
            EXPECT_EQ(put.error(), wantPut);
            if (wantPut == 0 && row.readsBack) {
                EXPECT_EQ(site.changed, std::vector<DispId>{row.dispid});
                EXPECT_TRUE(c->IsDirty());
                if (Readable(access, run)) {
                    EXPECT_EQ(Get(*c, row.dispid).value, value);
                }
                // The same value again changes nothing.
                EXPECT_TRUE(Put(*c, row.dispid, value).ok());
                EXPECT_EQ(site.changed.size(), 1u);
            } else {
                EXPECT_TRUE(site.changed.empty());
                EXPECT_FALSE(c->IsDirty());
            }
        }

        // Writing an invalid value.
        if (!row.invalid.empty() && Writable(access, run)) {
            site.changed.clear();
            auto before = Get(*c, row.dispid);
            auto put = Put(*c, row.dispid, row.invalid);
            EXPECT_EQ(put.error(), kErrInvalidPropertyValue);
            EXPECT_EQ(Get(*c, row.dispid).value, before.value);
            EXPECT_TRUE(site.changed.empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, MemberTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Run" : "Design"; });

TEST(ConventionsTest, ErrorsCrossWithStatusAndCp932Text)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    auto r = Put(*c, id::kRows, I2(0));
    EXPECT_EQ(r.status, 0x800A017Cu);
    EXPECT_EQ(Cp932ToUtf8(r.description), "設定されたプロパティ値は無効です");
    EXPECT_EQ(Put(*c, id::kCommID, I4(1)).status, 0x800A0000u + 383);
    EXPECT_EQ(Get(*c, id::kOutput).status, 0x800A0000u + 394);
    EXPECT_EQ(Get(*c, 75).status, com::kMemberNotFound);
    EXPECT_EQ(c->Invoke(id::kRows, com::InvokeKind::Put, {}).status, com::kBadParamCount);
}

TEST(ConventionsTest, ValuesAreConvertedToThePropertyType)
{
    struct Case {
        DispId dispid;
        Variant in;
        Variant out;  // Empty: refused with 380
    };
    const Case cases[] = {
        {id::kRows, S("40"), I2(40)},
        {id::kRows, S(" 41 "), I2(41)},
        {id::kRows, Variant::R4(42.5f), I2(42)},  // half to even
        {id::kRows, S("40abc"), kNone},
        {id::kRows, I4(70000), kNone},
        {id::kInterval, S("1e3"), kNone},
        {id::kInterval, I4(70000), I4(70000)},
        {id::kEcho, S("True"), B(true)},
        {id::kEcho, S("-1"), B(true)},
        {id::kDTREnable, I2(5), B(true)},  // no range check on DTREnable
        {id::kSettings, S("19200,e,7,1.5"), S("19200,E,7,1.5")},
        {id::kSettings, S(" 9600 , n , 8 , 1 "), S(" 9600 , N , 8 , 1 ")},
        {id::kSettings, S(",,7,"), S(",,7,")},
        {id::kSettings, S("9600,n,8,1,x"), kNone},
        {id::kAnswerBack, I2(7), S("7")},
    };
    TempDir dir;
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.dispid) + " <- " + ToText(k.in));
        RecordingSite site;
        auto c = MakeControl(site, dir.path() / "none.ini");
        auto r = Put(*c, k.dispid, k.in);
        if (k.out.empty()) {
            EXPECT_EQ(r.error(), kErrInvalidPropertyValue);
        } else {
            EXPECT_TRUE(r.ok());
            EXPECT_EQ(Get(*c, k.dispid).value, k.out);
        }
    }
}

TEST(ConventionsTest, SettingsTextEqualAfterUpperCasingIsNoChange)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    EXPECT_TRUE(Put(*c, id::kSettings, S("9600,n,8,1")).ok());
    EXPECT_TRUE(site.changed.empty());
    EXPECT_FALSE(c->IsDirty());
}

TEST(ConventionsTest, AutoProcessPutsReceiveValuesAsideAndRestoresThem)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    Put(*c, id::kInputLen, I2(5));
    Put(*c, id::kRThreshold, I2(40));
    ASSERT_TRUE(Put(*c, id::kAutoProcess, I2(1)).ok());
    EXPECT_EQ(Get(*c, id::kInputLen).value, I2(0));
    EXPECT_EQ(Get(*c, id::kRThreshold).value, I2(0));
    ASSERT_TRUE(Put(*c, id::kAutoProcess, I2(3)).ok());  // SERIAL to BOTH: nothing else
    EXPECT_EQ(Get(*c, id::kInputLen).value, I2(0));
    ASSERT_TRUE(Put(*c, id::kAutoProcess, I2(0)).ok());
    EXPECT_EQ(Get(*c, id::kInputLen).value, I2(5));
    EXPECT_EQ(Get(*c, id::kRThreshold).value, I2(40));
}

// A terminal that records what the control asks of it.
class FakeTerminal : public TerminalSide {
public:
    explicit FakeTerminal(std::vector<std::string>& log) : log_(log) {}
    ~FakeTerminal() override { log_.push_back("terminal destroyed"); }
    void Resize(std::int16_t rows, std::int16_t columns) override
    {
        log_.push_back("resize " + std::to_string(rows) + "x" + std::to_string(columns));
    }
    void SetColours(std::int16_t, std::int16_t) override {}
    void SetScrollRows(std::int16_t) override {}
    std::int16_t CursorRow() const override { return row_; }
    std::int16_t CursorColumn() const override { return column_; }
    void SetCursor(std::int16_t r, std::int16_t c) override { row_ = r, column_ = c; }
    std::string Text() const override { return text_; }
    void SetText(std::string_view t) override { text_ = t; }
    void Disp(std::string_view t) override { text_ += t; }
    std::string ScrollText() const override { return {}; }
    std::vector<std::string> ScreenLines() const override { return {text_}; }
    std::int32_t SelStart() const override { return 0; }
    void SetSelStart(std::int32_t) override {}
    std::int32_t SelLength() const override { return 0; }
    void SetSelLength(std::int32_t) override {}
    std::string SelText() const override { return {}; }
    void SetSelText(std::string_view) override {}
    void Layout() override {}

private:
    std::vector<std::string>& log_;
    std::string text_;
    std::int16_t row_ = 1, column_ = 1;
};

TEST(ConventionsTest, ResizeIsRaisedWithTheNewSizeBeforeTheTerminalGrows)
{
    TempDir dir;
    RecordingSite site;
    std::vector<std::string> log;
    ControlParts parts;
    parts.makeTerminal = [&](const TerminalSetup& s, const EngineLink&) {
        log.push_back("terminal " + std::to_string(s.rows) + "x" + std::to_string(s.columns));
        return std::make_unique<FakeTerminal>(log);
    };
    auto c = MakeControl(site, dir.path() / "none.ini", parts);
    site.onEvent = [&](DispId e, std::span<Variant> args) {
        if (e == com::eventid::kResize)
            log.push_back("Resize(" + ToText(args[0]) + "," + ToText(args[1]) + ")");
    };
    // Without a terminal (Emulation NONE) no event.
    ASSERT_TRUE(Put(*c, id::kRows, I2(24)).ok());
    EXPECT_TRUE(log.empty());

    ASSERT_TRUE(Put(*c, id::kEmulation, I2(2)).ok());
    ASSERT_TRUE(Put(*c, id::kRows, I2(30)).ok());
    EXPECT_EQ(log, (std::vector<std::string>{"terminal 24x80", "Resize(30,80)", "resize 30x80"}));

    // At design time there is no terminal.
    site.userMode = false;
    c->AmbientChanged();
    log.clear();
    ASSERT_TRUE(Put(*c, id::kColumns, I2(100)).ok());
    EXPECT_TRUE(log.empty());
}

TEST(ConventionsTest, EmulationKeepsTheScreenAcrossATerminalChange)
{
    TempDir dir;
    RecordingSite site;
    std::vector<std::string> log;
    ControlParts parts;
    parts.makeTerminal = [&](const TerminalSetup&, const EngineLink&) { return std::make_unique<FakeTerminal>(log); };
    auto c = MakeControl(site, dir.path() / "none.ini", parts);
    // A new instance at run time without a terminal is hidden.
    EXPECT_EQ(site.visible, std::vector<bool>{false});
    ASSERT_TRUE(Put(*c, id::kEmulation, I2(1)).ok());
    ASSERT_TRUE(Put(*c, id::kDisp, S("login:")).ok());
    ASSERT_TRUE(Put(*c, id::kCursorRow, I2(3)).ok());
    ASSERT_TRUE(Put(*c, id::kEmulation, I2(4)).ok());
    EXPECT_EQ(Get(*c, id::kText).value, S("login:"));
    EXPECT_EQ(Get(*c, id::kCursorRow).value, I2(3));
    // NONE at run time hides the control.
    ASSERT_TRUE(Put(*c, id::kEmulation, I2(0)).ok());
    EXPECT_EQ(site.visible, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(Get(*c, id::kText).value, S(""));
}

// The cursor is 1-based and always on the screen: row and column 1 on a new
// or loaded instance (values are loaded one after the other, Columns before
// Rows), moved in when the screen shrinks, back to 1 after a reset.
TEST(ConventionsTest, CursorStartsAtRowOneColumnOneAndStaysOnTheScreen)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    EXPECT_EQ(Get(*c, id::kCursorRow).value, I2(1));
    EXPECT_EQ(Get(*c, id::kCursorColumn).value, I2(1));
    MemoryBag bag;
    ASSERT_EQ(c->Save(bag, true), com::kOk);
    ASSERT_EQ(c->Load(bag), com::kOk);
    EXPECT_EQ(Get(*c, id::kCursorRow).value, I2(1));
    EXPECT_EQ(Get(*c, id::kCursorColumn).value, I2(1));

    ASSERT_TRUE(Put(*c, id::kCursorRow, I2(20)).ok());
    ASSERT_TRUE(Put(*c, id::kCursorColumn, I2(70)).ok());
    ASSERT_TRUE(Put(*c, id::kRows, I2(10)).ok());
    ASSERT_TRUE(Put(*c, id::kColumns, I2(40)).ok());
    EXPECT_EQ(Get(*c, id::kCursorRow).value, I2(10));
    EXPECT_EQ(Get(*c, id::kCursorColumn).value, I2(40));
    ASSERT_EQ(c->InitNew(), com::kOk);
    EXPECT_EQ(Get(*c, id::kCursorRow).value, I2(1));
    EXPECT_EQ(Get(*c, id::kCursorColumn).value, I2(1));
}

TEST(ConventionsTest, ByReferenceKeyArgumentsComeBackFromTheHandler)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    site.onEvent = [](DispId e, std::span<Variant> args) {
        if (e == com::eventid::kKeyPress && args[0].integer() == 'a') args[0] = Variant::I2('A');
        if (e == com::eventid::kKeyDown) args[0] = Variant::I2(0);
    };
    std::int16_t key = 'a';
    c->FireKeyPress(key);
    EXPECT_EQ(key, 'A');
    key = 'b';
    c->FireKeyPress(key);
    EXPECT_EQ(key, 'b');
    std::int16_t code = 37;
    c->FireKeyDown(code, 1);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(site.events.size(), 3u);
    EXPECT_EQ(site.events[2].args[1], I2(1));
}

TEST(ConventionsTest, SizeRulesFollowEmulationAndAutoSize)
{
    TempDir dir;
    RecordingSite site;
    site.userMode = false;
    auto c = MakeControl(site, dir.path() / "none.ini");
    int w = 0, h = 0;
    // Emulation NONE: the control keeps its own size.
    EXPECT_FALSE(c->SetExtent(400, 300));
    ASSERT_TRUE(Put(*c, id::kEmulation, I2(2)).ok());
    EXPECT_TRUE(c->SetExtent(400, 300));
    ASSERT_TRUE(Put(*c, id::kAutoSize, B(true)).ok());
    EXPECT_FALSE(c->SetExtent(500, 300));
    c->GetExtent(w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(400, 300));
    // Back to NONE at design time: 32 x 32 and no history lines.
    ASSERT_TRUE(Put(*c, id::kScrollRows, I2(50)).ok());
    ASSERT_TRUE(Put(*c, id::kEmulation, I2(0)).ok());
    c->GetExtent(w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(32, 32));
    EXPECT_EQ(Get(*c, id::kScrollRows).value, I2(0));
}

TEST(ConventionsTest, CaptureFileOpensAppendsAndCloses)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    const auto file = dir.Write("cap.txt", "old\n");
    ASSERT_TRUE(Put(*c, id::kCaptureMode, I2(1)).ok());
    ASSERT_TRUE(Put(*c, id::kCaptureFilename, S(file.c_str())).ok());
    EXPECT_EQ(Put(*c, id::kCaptureFilename, S(file.c_str())).error(), kErrInvalidPropertyValue);
    ASSERT_TRUE(Put(*c, id::kDisp, S("data\r\n")).ok());
    ASSERT_TRUE(Put(*c, id::kCaptureFilename, S("")).ok());
    EXPECT_EQ(Get(*c, id::kCaptureFilename).value, S(""));
    EXPECT_EQ(Put(*c, id::kCaptureFilename, S("")).error(), kErrInvalidPropertyValue);
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "old\ndata\r\n");
    EXPECT_EQ(Put(*c, id::kCaptureFilename, S((dir.path() / "no/such/dir/x").c_str())).error(),
              kErrInvalidPropertyValue);
}

// A port side that claims an open port and records its closing.
class OpenPort : public StoredPort {
public:
    explicit OpenPort(std::vector<std::string>& log) : log_(log) {}
    bool IsOpen() const override { return open_; }
    void Close() override { SetOpen(false); }
    com::Variant Get(const PropertyRow& row) override
    {
        if (row.info.dispid == id::kPortOpen) return com::Variant::Bool(open_);
        return StoredPort::Get(row);
    }
    void Put(const PropertyRow& row, const PutValue& value) override
    {
        if (row.info.dispid == id::kPortOpen) SetOpen(value.flag());
        else StoredPort::Put(row, value);
    }

private:
    void SetOpen(bool open)
    {
        if (!open && open_) log_.push_back("port closed");
        open_ = open;
    }

    std::vector<std::string>& log_;
    bool open_ = true;
};

class FakeTransfer : public TransferSide {
public:
    explicit FakeTransfer(std::vector<std::string>& log) : log_(log) {}
    void Upload(std::string_view f) override { log_.push_back("upload " + std::string(f)); }
    void Download(std::string_view) override {}
    bool Running() const override { return true; }
    void Request(std::int16_t status) override
    {
        if (status != 5 && status != 6 && status != 10) throw ControlError(kErrSetNotSupported);
        log_.push_back("request " + std::to_string(status));
    }
    void Stop() override { log_.push_back("transfer stopped"); }

private:
    std::vector<std::string>& log_;
};

class LoggingTerminal : public FakeTerminal {
public:
    explicit LoggingTerminal(std::vector<std::string>& log) : FakeTerminal(log), log_(log) {}
    std::vector<std::string> ScreenLines() const override
    {
        log_.push_back("capture closed");
        return {"screen"};
    }

private:
    std::vector<std::string>& log_;
};

TEST(ConventionsTest, DestructionReleasesCaptureTerminalTransferThenPort)
{
    TempDir dir;
    RecordingSite site;
    std::vector<std::string> log;
    ControlParts parts;
    parts.makePort = [&] { return std::make_unique<OpenPort>(log); };
    parts.makeTerminal = [&](const TerminalSetup&, const EngineLink&) { return std::make_unique<LoggingTerminal>(log); };
    parts.makeTransfer = [&](const EngineLink&) { return std::make_unique<FakeTransfer>(log); };
    auto c = MakeControl(site, dir.path() / "none.ini", parts);
    // A new instance starts with its port closed.
    ASSERT_TRUE(Put(*c, id::kPortOpen, B(true)).ok());
    ASSERT_TRUE(Put(*c, id::kEmulation, I2(1)).ok());
    ASSERT_TRUE(Put(*c, id::kCaptureFilename, S((dir.path() / "cap.txt").c_str())).ok());
    ASSERT_TRUE(Put(*c, id::kUpload, S("a.bin")).ok());
    // A running transfer takes skip, abort and resume requests only.
    EXPECT_EQ(Put(*c, id::kXferStatus, I2(com::TOLVEX_XFER_FINISHED)).error(), kErrSetNotSupported);
    ASSERT_TRUE(Put(*c, id::kXferStatus, I2(com::TOLVEX_XFER_ABORT)).ok());
    log.clear();
    c.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"capture closed", "terminal destroyed", "transfer stopped",
                                             "port closed"}));
}

}  // namespace
TEST(ConventionsTest, TerminalFactoryReachesThePortsEngine)
{
    TempDir dir;
    RecordingSite site;
    std::vector<std::string> log;
    serial::CommEngine* engine = nullptr;
    const serial::CommEngine* linked = nullptr;
    ControlParts parts;
    parts.makePort = [&] {
        auto port = std::make_unique<StoredPort>();
        engine = &port->Engine();
        return port;
    };
    parts.makeTerminal = [&](const TerminalSetup&, const EngineLink& link) {
        linked = link.engine;
        return std::make_unique<FakeTerminal>(log);
    };
    auto c = MakeControl(site, dir.path() / "none.ini", parts);
    ASSERT_TRUE(Put(*c, id::kEmulation, I2(1)).ok());
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(linked, engine);
}

}  // namespace tolvex::control::testing
