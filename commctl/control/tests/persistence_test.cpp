// Saving, loading and resetting the control: the 39 saved values, the
// defaults of new instances from the profile, and hostile bags and profiles.
#include "control_fixture.h"

#include "control/control_profile.h"
#include "control/ini_file.h"

namespace tolvex::control::testing {
namespace {

namespace id = com::dispid;


// The saved values in their order, with their defaults and another valid
// value for each.
struct Saved {
    const char* name;
    Variant defaultValue;  // Empty: none (Width, Height)
    Variant other;
};

const std::vector<Saved>& SavedList()
{
    static const std::vector<Saved> list = {
        {"AutoProcess", I2(0), I2(2)},        {"AutoSize", B(false), B(true)},
        {"AutoScroll", I2(4), I2(1)},         {"AutoZModem", B(false), B(true)},
        {"BackColor", I2(15), I2(1)},         {"Backspace", I2(0), I2(1)},
        {"CaptureMode", I2(2), I2(0)},        {"ColorFilter", I2(0), I2(1)},
        {"Columns", I2(80), I2(132)},         {"CommPort", I2(1), I2(4)},
        {"CursorType", I2(0), I2(1)},         {"DTREnable", B(true), B(false)},
        {"Echo", B(false), B(true)},          {"Emulation", I2(0), I2(4)},
        {"FastScroll", B(true), B(false)},    {"ForeColor", I2(0), I2(10)},
        {"Handshaking", I2(0), I2(3)},        {"Height", {}, I4(377)},
        {"InBufferSize", I2(2048), I2(4096)}, {"InputLen", I2(0), I2(16)},
        {"Interval", I4(200), I4(50)},        {"InTimeout", I4(0), I4(2000)},
        {"KeyTranslation", I2(0), I2(4)},     {"NullDiscard", B(false), B(true)},
        {"OutBufferSize", I2(2048), I2(512)}, {"ParityReplace", S(""), S("?")},
        {"Rows", I2(25), I2(40)},             {"RThreshold", I2(0), I2(40)},
        {"RTSEnable", B(true), B(false)},     {"ScrollRows", I2(0), I2(200)},
        {"Settings", S("9600,N,8,1"), S("4800,E,7,2")},
        {"SmoothScroll", B(false), B(true)},  {"SThreshold", I2(0), I2(8)},
        {"Width", {}, I4(611)},               {"XferCarrierAbort", B(true), B(false)},
        {"XferProtocol", I2(5), I2(2)},       {"XferStatusDialog", I2(2), I2(0)},
        {"AnswerBack", S(""), S("\x83\x65\x83\x58\x83\x67\r")},  // CP932 text and CR
        {"Appearance", I2(0), I2(1)},
    };
    return list;
}

MemoryBag SaveOf(CTolvexcommCtrl& c)
{
    MemoryBag bag;
    EXPECT_EQ(c.Save(bag, true), com::kOk);
    return bag;
}

TEST(PersistenceTest, SavesTheValuesInOrderWithTheirNames)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    MemoryBag bag = SaveOf(*c);
    std::vector<std::string> names;
    for (const auto& [name, v] : bag.values) names.push_back(name);
    std::vector<std::string> want = {"_Version", "Font"};
    for (const auto& s : SavedList()) want.push_back(s.name);
    EXPECT_EQ(names, want);
    EXPECT_EQ(*bag.Find("_Version"), I4(0x30000));
}

TEST(PersistenceTest, SaveThenLoadKeepsAll39Values)
{
    TempDir dir;
    for (bool run : {false, true}) {
        SCOPED_TRACE(run ? "run time" : "design time");
        MemoryBag source;
        source.Write("Font", S("Courier;10;1;0;1;0"));
        for (const auto& s : SavedList()) source.Write(s.name, s.other);

        RecordingSite site;
        site.userMode = run;
        auto a = MakeControl(site, dir.path() / "none.ini");
        ASSERT_EQ(a->Load(source), com::kOk);
        EXPECT_FALSE(a->IsDirty());
        MemoryBag saved = SaveOf(*a);
        for (const auto& s : SavedList()) EXPECT_EQ(*saved.Find(s.name), s.other) << s.name;
        EXPECT_EQ(*saved.Find("Font"), S("Courier;10;1;0;1;0"));

        auto b = MakeControl(site, dir.path() / "none.ini");
        ASSERT_EQ(b->Load(saved), com::kOk);
        EXPECT_EQ(SaveOf(*b).values, saved.values);
        // The loaded values are the properties' values.
        EXPECT_EQ(Get(*b, id::kRows).value, I2(40));
        EXPECT_EQ(Get(*b, id::kSettings).value, S("4800,E,7,2"));
    }
}

TEST(PersistenceTest, MissingValuesTakeTheirDefaults)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    MemoryBag other;
    for (const auto& s : SavedList()) other.Write(s.name, s.other);
    ASSERT_EQ(c->Load(other), com::kOk);

    MemoryBag empty;
    ASSERT_EQ(c->Load(empty), com::kOk);
    MemoryBag saved = SaveOf(*c);
    for (const auto& s : SavedList())
        if (!s.defaultValue.empty()) {
            EXPECT_EQ(*saved.Find(s.name), s.defaultValue) << s.name;
        }
    // Emulation NONE after loading: the control is 32 x 32.
    EXPECT_EQ(*saved.Find("Width"), I4(32));
    EXPECT_EQ(*saved.Find("Height"), I4(32));
    EXPECT_EQ(*saved.Find("Font"), S("MS Sans Serif;8;0;0;0;0"));
}

TEST(PersistenceTest, HostileBagsLoadWithDefaultsForWhatIsRefused)
{
    const std::string huge(1 << 20, 'x');
    const std::string garbage("\xFF\x00\x81\x7F\r\n=[", 8);
    struct Case {
        const char* name;
        Variant value;
        Variant expect;  // what the control then saves
    };
    const Case cases[] = {
        {"Rows", S("abc"), I2(25)},
        {"Rows", S("40"), I2(40)},              // texts holding numbers are fine
        {"Rows", I4(100000), I2(25)},
        {"Rows", I2(-3), I2(25)},
        {"Columns", Variant::R4(1e30f), I2(80)},
        {"Emulation", I2(99), I2(0)},
        {"InBufferSize", I4(70000), I2(2048)},
        {"CommPort", I2(0), I2(1)},
        {"Settings", I2(5), S("9600,N,8,1")},    // a number for a text
        {"Settings", S(huge), S("9600,N,8,1")},
        {"Settings", S(garbage), S("9600,N,8,1")},
        {"AnswerBack", S(huge), S(huge)},        // any text is a valid answer-back
        {"ParityReplace", S(garbage), S(garbage)},
        {"NullDiscard", I2(7), B(false)},
        {"DTREnable", S("garbage"), B(true)},
        {"Interval", I4(-1), I4(200)},
        {"Width", S("wide"), I4(32)},
        {"Font", S(garbage), S("MS Sans Serif;8;0;0;0;0")},
        {"Font", S("X;0;0;0;0;0"), S("MS Sans Serif;8;0;0;0;0")},
        {"Font", Variant::Bytes(huge), S("MS Sans Serif;8;0;0;0;0")},
    };
    TempDir dir;
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.name) + " = " + ToText(k.value).substr(0, 20));
        RecordingSite site;
        auto c = MakeControl(site, dir.path() / "none.ini");
        MemoryBag bag;
        bag.Write(k.name, k.value);
        bag.Write("NoSuchProperty", S(garbage));
        bag.Write(std::string(garbage), I2(1));
        ASSERT_EQ(c->Load(bag), com::kOk);
        EXPECT_EQ(*SaveOf(*c).Find(k.name), k.expect);
    }
}

TEST(PersistenceTest, LoadingRemembersReceiveValuesForAutoProcess)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    MemoryBag bag;
    bag.Write("InputLen", I2(12));
    bag.Write("RThreshold", I2(40));
    ASSERT_EQ(c->Load(bag), com::kOk);
    ASSERT_TRUE(Put(*c, id::kAutoProcess, I2(1)).ok());
    ASSERT_TRUE(Put(*c, id::kAutoProcess, I2(0)).ok());
    EXPECT_EQ(Get(*c, id::kInputLen).value, I2(12));
    EXPECT_EQ(Get(*c, id::kRThreshold).value, I2(40));
}

// ---------------------------------------------------------------------------
// Defaults of new instances

// What a new instance has without a profile: the built-in defaults of the
// reset (FastScroll false there, unlike the saved default).
MemoryBag BuiltInDefaults()
{
    MemoryBag bag;
    for (const auto& s : SavedList()) bag.Write(s.name, s.defaultValue);
    bag.Write("FastScroll", B(false));
    bag.Write("Width", I4(32));
    bag.Write("Height", I4(32));
    return bag;
}

void ExpectBag(const MemoryBag& got, const MemoryBag& want)
{
    for (const auto& [name, v] : want.values) {
        ASSERT_NE(got.Find(name), nullptr) << name;
        EXPECT_EQ(*got.Find(name), v) << name;
    }
}

TEST(PersistenceTest, NoProfileGivesExactlyTheBuiltInDefaults)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    ExpectBag(SaveOf(*c), BuiltInDefaults());
    EXPECT_FALSE(c->IsDirty());
}

TEST(PersistenceTest, ProfileDefaultValuesGiveNewInstancesTheirDefaults)
{
    TempDir dir;
    const auto ini = dir.Write("tolvexcomm.ini",
                               "[Other]\r\nRows=99\r\n"
                               "[default values]\r\n"
                               "rows=40\r\nXferProtocol=2\r\nhandshaking = 2\r\n"
                               "Settings=\"4800,n,8,1\"\r\nAutoSize=1\r\nXferCarrierAbort=0\r\n"
                               "Interval=50\r\n"
                               // keys that the reset leaves to the user
                               "ForeColor=3\r\nCommPort=5\r\nEcho=1\r\n");
    RecordingSite site;
    auto c = MakeControl(site, ini);
    MemoryBag want = BuiltInDefaults();
    want.Write("Rows", I2(40));
    want.Write("XferProtocol", I2(2));
    want.Write("Handshaking", I2(2));
    want.Write("Settings", S("4800,N,8,1"));
    want.Write("AutoSize", B(true));
    want.Write("XferCarrierAbort", B(false));
    want.Write("Interval", I4(50));
    ExpectBag(SaveOf(*c), want);
}

TEST(PersistenceTest, ResetOfAUsedInstanceGivesTheDefaultsAgain)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeControl(site, dir.path() / "none.ini");
    MemoryBag other;
    other.Write("Font", S("Courier;10;1;0;1;0"));
    for (const auto& s : SavedList()) other.Write(s.name, s.other);
    ASSERT_EQ(c->Load(other), com::kOk);
    ASSERT_EQ(c->InitNew(), com::kOk);
    MemoryBag want = BuiltInDefaults();
    want.Write("Width", I4(611));  // the size stays as it was
    want.Write("Height", I4(377));
    want.Write("Font", S("MS Sans Serif;8;0;0;0;0"));
    ExpectBag(SaveOf(*c), want);
}

TEST(PersistenceTest, HostileProfilesFallBackToBuiltInDefaults)
{
    std::string noise;
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) noise += static_cast<char>(rng() & 0xFF);
    struct Case {
        const char* what;
        std::string text;
        const char* name;  // a value to check; nullptr: all defaults
        Variant expect;
    };
    const Case cases[] = {
        {"random bytes", noise, nullptr, {}},
        {"no section", "Rows=40\r\n", nullptr, {}},
        {"other section", "[Defaults]\r\nRows=40\r\n", nullptr, {}},
        {"unterminated header", "[Default Values\r\nRows=40\r\n", "Rows", I2(40)},
        {"zero rows", "[Default Values]\r\nRows=0\r\n", "Rows", I2(25)},
        {"text for number", "[Default Values]\r\nColumns=wide\r\n", "Columns", I2(80)},
        {"leading number", "[Default Values]\r\nColumns=132abc\r\n", "Columns", I2(132)},
        {"too large for 16 bits", "[Default Values]\r\nInBufferSize=99999\r\n", "InBufferSize", I2(2048)},
        {"too large for 32 bits", "[Default Values]\r\nInterval=99999999999\r\n", "Interval", I4(200)},
        {"enum out of range", "[Default Values]\r\nEmulation=9\r\n", "Emulation", I2(0)},
        {"negative", "[Default Values]\r\nScrollRows=-4\r\n", "ScrollRows", I2(0)},
        {"bad settings", "[Default Values]\r\nSettings=fast\r\n", "Settings", S("9600,N,8,1")},
        {"settings cut at 32", "[Default Values]\r\nSettings=2400,n,8,1" + std::string(40, ' ') + "x\r\n",
         "Settings", S("2400,N,8,1" + std::string(22, ' '))},
        {"binary zero", std::string("[Default Values]\r\nRows=4") + '\0' + "0\r\n", "Rows", I2(4)},
        {"huge value", "[Default Values]\r\nRows=" + std::string(500000, '9') + "\r\n", "Rows", I2(25)},
        {"no equals", "[Default Values]\r\nRows\r\nColumns=100\r\n", "Columns", I2(100)},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        TempDir dir;
        const auto ini = dir.Write("tolvexcomm.ini", k.text);
        RecordingSite site;
        auto c = MakeControl(site, ini);
        MemoryBag saved = SaveOf(*c);
        if (k.name)
            EXPECT_EQ(*saved.Find(k.name), k.expect);
        else
            ExpectBag(saved, BuiltInDefaults());
    }
}

TEST(PersistenceTest, SavedDefaultsReachNewInstancesUntilTheyAreCleared)
{
    TempDir dir;
    const auto file = dir.path() / "cfg" / "tolvexcomm.ini";
    profile::ControlProfile profile(file);
    EXPECT_FALSE(profile.Clear());  // nothing to clear yet
    ASSERT_TRUE(profile.WriteInt("XferProtocol", 2));
    ASSERT_TRUE(profile.WriteInt("Rows", 40));
    ASSERT_TRUE(profile.WriteLong("InTimeOut", 1500));
    ASSERT_TRUE(profile.WriteReal("FontSize", 9.75));
    ASSERT_TRUE(profile.WriteText("Settings", "4800,N,8,1"));
    EXPECT_EQ(profile.ReadInt("xferprotocol", 5), 2);
    EXPECT_EQ(profile.ReadLong("InTimeOut", 0), 1500);
    EXPECT_DOUBLE_EQ(profile.ReadReal("FontSize", 8), 9.75);
    EXPECT_EQ(profile.ReadText("Settings", 4, ""), "4800");
    std::string name = "kept";
    EXPECT_FALSE(profile.ReadInto("FontName", name));
    EXPECT_EQ(name, "kept");

    RecordingSite site;
    auto c = MakeControl(site, file);
    EXPECT_EQ(Get(*c, id::kXferProtocol).value, I2(2));
    EXPECT_EQ(Get(*c, id::kRows).value, I2(40));
    EXPECT_EQ(Get(*c, id::kSettings).value, S("4800,N,8,1"));

    ASSERT_TRUE(profile.Clear());
    EXPECT_FALSE(profile::IniFile::Load(file).HasSection("Default Values"));
    auto d = MakeControl(site, file);
    ExpectBag(SaveOf(*d), BuiltInDefaults());
}

TEST(PersistenceTest, ProfileSizeBecomesTheInitialSize)
{
    TempDir dir;
    const auto ini = dir.Write("tolvexcomm.ini", "[Default Values]\r\nWidth=640\r\nHeight=400\r\n");
    ControlParts parts;
    parts.profile = ini;
    ControlPtr c(new CTolvexcommCtrl(parts));
    int w = 0, h = 0;
    c->GetExtent(w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(640, 400));

    const auto half = dir.Write("half.ini", "[Default Values]\r\nWidth=640\r\nHeight=0\r\n");
    parts.profile = half;
    ControlPtr d(new CTolvexcommCtrl(parts));
    d->GetExtent(w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(32, 32));
}

}  // namespace
}  // namespace tolvex::control::testing
