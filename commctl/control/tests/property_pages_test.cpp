// The property pages: binding by name, combo boxes from the type
// information, apply, "保存", "ﾘｾｯﾄ", the sheet's widgets, and the page
// classes in the registry file.
#include "control_fixture.h"

#include "common/cp932.h"
#include "control/ini_file.h"
#include "control/property_pages.h"
#include "control/property_sheet.h"
#include "control/registry_file.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <algorithm>

namespace tolvex::control::testing {
namespace {

namespace id = com::dispid;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "property_pages_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// A design-mode control with values other than the defaults everywhere the
// pages look.
ControlPtr MakeChangedControl(RecordingSite& site, const std::filesystem::path& profile)
{
    site.userMode = false;
    auto c = MakeControl(site, profile);
    const std::pair<DispId, Variant> values[] = {
        {id::kRows, I2(40)},           {id::kAnswerBack, S("ok")},    {id::kBackColor, I2(1)},
        {id::kEmulation, I2(4)},       {id::kEcho, B(true)},          {id::kAppearance, I2(1)},
        {id::kCommPort, I2(3)},        {id::kSettings, S("4800,E,7,2")}, {id::kHandshaking, I2(2)},
        {id::kDTREnable, B(false)},    {id::kInTimeout, I4(1500)},    {id::kParityReplace, S("?")},
        {id::kXferProtocol, I2(2)},    {id::kAutoZModem, B(true)},    {id::kFont, S("Courier;12;1;0;1;0")},
    };
    for (const auto& [dispid, v] : values) EXPECT_TRUE(Put(*c, dispid, v).ok()) << dispid;
    site.changed.clear();
    return c;
}

// The control seen through its dispatch interface, with every put recorded;
// without enumerations it is the control as a host sees it when the type
// library cannot be opened.
class DispatchSpy final : public com::IControl {
public:
    DispatchSpy(com::IControl& inner, bool enums) : inner_(inner), info_(inner.TypeInfo())
    {
        if (!enums) info_.enums = {};
    }
    ~DispatchSpy() override = default;
    std::vector<DispId> puts;

    void AddRef() override {}
    void Release() override {}
    void SetSite(com::IControlSite* site) override { inner_.SetSite(site); }
    void Advise(com::IEventSink* sink) override { inner_.Advise(sink); }
    void AmbientChanged() override {}
    com::Status InitNew() override { return inner_.InitNew(); }
    com::Status Load(const com::IPropertyBag& bag) override { return inner_.Load(bag); }
    com::Status Save(com::IPropertyBag& bag, bool clear) override { return inner_.Save(bag, clear); }
    bool IsDirty() const override { return inner_.IsDirty(); }
    com::InvokeResult Invoke(DispId d, com::InvokeKind k, std::span<const Variant> a) override
    {
        if (k == com::InvokeKind::Put) puts.push_back(d);
        return inner_.Invoke(d, k, a);
    }
    const com::TypeLibraryInfo& TypeInfo() const override { return info_; }
    bool SetExtent(int w, int h) override { return inner_.SetExtent(w, h); }
    void GetExtent(int& w, int& h) const override { inner_.GetExtent(w, h); }
    QWidget* Window() override { return nullptr; }

private:
    com::IControl& inner_;
    com::TypeLibraryInfo info_;
};

TEST(PropertyPagesTest, FieldsBindByTheControlsNamesAndCombosListItsEnumerations)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeChangedControl(site, dir.path() / "tolvexcomm.ini");
    PropertyPageSet pages(*c, dir.path() / "tolvexcomm.ini");
    // The spellings of the pages resolve through the type information.
    EXPECT_EQ(pages.Field("HandShaking").dispid, id::kHandshaking);
    EXPECT_EQ(pages.Field("InTimeOut").dispid, id::kInTimeout);
    EXPECT_EQ(pages.Field("FontBold").dispid, id::kFont);
    EXPECT_FALSE(pages.Field("HdnHeight").dispid.has_value());
    // Before loading: the file transfer page has nothing chosen.
    EXPECT_EQ(pages.Field("XferProtocol").index, -1);
    EXPECT_FALSE(pages.Field("XferCarrierAbort").checked);
    EXPECT_TRUE(pages.Field("XferProtocol").items.empty());

    pages.Load();
    const auto& protocol = pages.Field("XferProtocol").items;
    ASSERT_EQ(protocol.size(), 9u);
    EXPECT_EQ(protocol.front(), "0 - _TOLVEX_XMODEM_CHECKSUM");
    EXPECT_EQ(protocol[5], "5 - _TOLVEX_ZMODEM");
    EXPECT_EQ(protocol.back(), "8 - _TOLVEX_NIFTY_SERVE_BPLUS");
    EXPECT_EQ(pages.Field("Appearance").items, (std::vector<std::string>{"0 - _TOLVEX_APPEARANCE_FLAT", "1 - _TOLVEX_APPEARANCE_3D"}));
    for (const auto& f : pages.Fields()) {
        if (f.field->kind != FieldKind::Combo) continue;
        const auto* e = FindEnumByType(f.field->enumType);
        ASSERT_NE(e, nullptr) << f.field->name;
        EXPECT_EQ(f.items.size(), e->constants.size()) << f.field->name;
    }
    // The loaded values.
    const std::pair<const char*, std::string> texts[] = {
        {"Rows", "40"}, {"AnswerBack", "ok"}, {"CommPort", "3"}, {"Settings", "4800,E,7,2"},
        {"InTimeOut", "1500"}, {"ParityReplace", "?"}, {"FontName", "Courier"}, {"FontSize", "12"},
        {"HdnWidth", "30"}, {"InBufferSize", "2048"},
    };
    for (const auto& [name, text] : texts) EXPECT_EQ(pages.Field(name).text, text) << name;
    const std::pair<const char*, int> indexes[] = {
        {"BackColor", 1}, {"Emulation", 4}, {"Appearance", 1}, {"HandShaking", 2}, {"XferProtocol", 2},
        {"XferStatusDialog", 2}, {"AutoScroll", 4},
    };
    for (const auto& [name, index] : indexes) EXPECT_EQ(pages.Field(name).index, index) << name;
    const std::pair<const char*, bool> checks[] = {
        {"Echo", true}, {"DTREnable", false}, {"RTSEnable", true}, {"AutoZModem", true},
        {"XferCarrierAbort", true}, {"FontBold", true}, {"FontItalic", false}, {"FontUnderline", true},
    };
    for (const auto& [name, on] : checks) EXPECT_EQ(pages.Field(name).checked, on) << name;
    EXPECT_FALSE(pages.AnyChanged());

    // Without the type library the combo boxes stay empty, the values are
    // still exchanged.
    DispatchSpy bare(*c, false);
    PropertyPageSet plain(bare, dir.path() / "tolvexcomm.ini");
    plain.Load();
    EXPECT_TRUE(plain.Field("XferProtocol").items.empty());
    EXPECT_EQ(plain.Field("XferProtocol").index, 2);
    plain.SetIndex(plain.Find("XferProtocol"), 5);
    EXPECT_TRUE(plain.Apply().empty());
    EXPECT_EQ(Get(*c, id::kXferProtocol).value.integer(), 5);
}

TEST(PropertyPagesTest, ApplySetsOnlyTheChangedProperties)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeChangedControl(site, dir.path() / "tolvexcomm.ini");
    DispatchSpy spy(*c, true);
    PropertyPageSet pages(spy, dir.path() / "tolvexcomm.ini");
    pages.Load();
    EXPECT_TRUE(pages.Apply().empty());
    EXPECT_TRUE(spy.puts.empty());  // nothing changed, nothing set

    pages.SetText(pages.Find("Rows"), " 30 ");
    pages.SetText(pages.Find("InTimeOut"), "2000");
    pages.SetIndex(pages.Find("HandShaking"), 1);
    pages.SetIndex(pages.Find("XferProtocol"), 5);
    pages.SetChecked(pages.Find("DTREnable"), true);
    pages.SetChecked(pages.Find("FontItalic"), true);
    pages.SetText(pages.Find("Settings"), "19200,n,8,1");
    pages.SetText(pages.Find("AnswerBack"), "応答");
    pages.SetText(pages.Find("Columns"), "80");  // edited back to what it was: unchanged
    EXPECT_TRUE(pages.AnyChanged());
    EXPECT_TRUE(pages.Apply().empty());
    EXPECT_FALSE(pages.AnyChanged());

    std::vector<DispId> set = spy.puts;
    std::sort(set.begin(), set.end());
    EXPECT_EQ(spy.puts.size(), set.size());  // each once; the font's fields as one value
    std::vector<DispId> want = {id::kFont,       id::kDTREnable,   id::kHandshaking, id::kInTimeout, id::kSettings,
                                id::kRows,       id::kXferProtocol, id::kAnswerBack};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(set, want);
    EXPECT_EQ(Get(*c, id::kRows).value.integer(), 30);
    EXPECT_EQ(Get(*c, id::kInTimeout).value.integer(), 2000);
    EXPECT_EQ(Get(*c, id::kHandshaking).value.integer(), 1);
    EXPECT_EQ(Get(*c, id::kXferProtocol).value.integer(), 5);
    EXPECT_EQ(Get(*c, id::kDTREnable).value, B(true));
    EXPECT_EQ(Get(*c, id::kSettings).value.text(), "19200,N,8,1");
    EXPECT_EQ(Get(*c, id::kAnswerBack).value.text(), Utf8ToCp932("応答"));
    EXPECT_EQ(Get(*c, id::kFont).value.text(), "Courier;12;1;1;1;0");
}

TEST(PropertyPagesTest, AFieldThatDoesNotConvertStopsApplyAndSaveBeforeAnythingIsSet)
{
    const std::pair<const char*, const char*> bad[] = {
        {"Rows", "abc"},       {"Rows", ""},         {"Rows", "12x"},     {"ScrollRows", "40000"},
        {"InTimeOut", "1.5"},  {"InTimeOut", "3000000000"}, {"FontSize", "0"}, {"FontSize", "big"},
        {"AnswerBack", "😀"},  {"FontName", "a;b"},
    };
    for (const auto& [name, text] : bad) {
        TempDir dir;
        const auto profile = dir.path() / "tolvexcomm.ini";
        RecordingSite site;
        auto c = MakeChangedControl(site, profile);
        PropertyPageSet pages(*c, profile);
        pages.Load();
        pages.SetText(pages.Find("Columns"), "100");  // a good change, earlier in the table
        pages.SetText(pages.Find(name), text);
        auto refused = pages.Apply();
        ASSERT_EQ(refused.size(), 1u) << name << "=" << text;
        EXPECT_EQ(refused[0].field, pages.Find(name)) << name;
        EXPECT_FALSE(refused[0].message.empty());
        EXPECT_TRUE(site.changed.empty()) << name << "=" << text;
        EXPECT_EQ(Get(*c, id::kColumns).value.integer(), 80);
        EXPECT_TRUE(pages.Field("Columns").changed);
        auto saved = pages.SaveDefaults();
        ASSERT_TRUE(saved.has_value()) << name;
        EXPECT_EQ(saved->field, pages.Find(name));
        EXPECT_FALSE(std::filesystem::exists(profile)) << name;
    }
}

TEST(PropertyPagesTest, AValueTheControlRefusesIsToldAndTheOthersAreSet)
{
    TempDir dir;
    RecordingSite site;
    auto c = MakeChangedControl(site, dir.path() / "tolvexcomm.ini");
    PropertyPageSet pages(*c, dir.path() / "tolvexcomm.ini");
    pages.Load();
    pages.SetText(pages.Find("CommPort"), "0");      // converts, but the control takes 1 and up
    pages.SetText(pages.Find("Settings"), "9600,Q,8,1");
    pages.SetText(pages.Find("Rows"), "30");
    auto refused = pages.Apply();
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].field, pages.Find("CommPort"));
    EXPECT_EQ(refused[0].message, "設定されたプロパティ値は無効です");
    EXPECT_EQ(refused[1].field, pages.Find("Settings"));
    EXPECT_EQ(Get(*c, id::kRows).value.integer(), 30);
    EXPECT_EQ(Get(*c, id::kCommPort).value.integer(), 3);
    EXPECT_TRUE(pages.Field("CommPort").changed);  // tried again by the next apply
    EXPECT_FALSE(pages.Field("Rows").changed);
}

TEST(PropertyPagesTest, SaveWritesTheKeysInOrderAndANewInstanceReadsTheResetsOnes)
{
    TempDir dir;
    const auto profile = dir.Write("tolvexcomm.ini", "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n");
    RecordingSite site;
    auto c = MakeChangedControl(site, profile);
    PropertyPageSet pages(*c, profile);
    pages.Load();
    // Edited on the other pages and not applied: the emulation page's
    // "保存" writes what these pages show.
    pages.SetIndex(pages.Find("XferProtocol"), 2);
    pages.SetText(pages.Find("Rows"), "40");
    pages.SetIndex(pages.Find("HandShaking"), 1);
    pages.SetText(pages.Find("InTimeOut"), "1234");
    pages.SetText(pages.Find("Settings"), "4800,N,8,1");
    pages.SetText(pages.Find("OutBufferSize"), "4096");
    pages.SetIndex(pages.Find("CaptureMode"), 0);
    ASSERT_FALSE(pages.SaveDefaults().has_value());
    EXPECT_TRUE(site.changed.empty());  // saving sets no property

    EXPECT_EQ(ReadAll(profile),
              "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n"
              "[Default Values]\r\n"
              "AutoSize=0\r\nBackspace=0\r\nEcho=1\r\nSmoothScroll=0\r\nAppearance=1\r\nAutoScroll=4\r\n"
              "CaptureMode=0\r\nColorFilter=0\r\nEmulation=4\r\nKeyTranslation=0\r\nAnswerBack=ok\r\n"
              "Columns=80\r\nCursorType=0\r\nRows=40\r\nScrollRows=0\r\nBackColor=1\r\nFontBold=1\r\n"
              "FontItalic=0\r\nFontName=Courier\r\nFontSize=12\r\nFontStrikeThru=0\r\nFontUnderline=1\r\n"
              "ForeColor=0\r\nHdnHeight=30\r\nHdnWidth=30\r\nAutoProcess=0\r\nCommPort=3\r\nDtrEnable=0\r\n"
              "AutoZModem=1\r\nHandShaking=1\r\nInBufferSize=2048\r\nInputLen=0\r\nInTimeOut=1234\r\n"
              "NullDiscard=0\r\nOutBufferSize=4096\r\nParityReplace=?\r\nRThreshold=0\r\nRTSEnable=1\r\n"
              "Settings=4800,N,8,1\r\nXferStatusDialog=2\r\nSThreshold=0\r\nXferProtocol=2\r\n"
              "XferCarrierAbort=1\r\n");

    // A new instance takes the keys the reset reads; CommPort, DTREnable,
    // InTimeout, Echo and Appearance are fixed for new instances.
    RecordingSite fresh;
    auto n = MakeControl(fresh, profile);
    const std::pair<DispId, Variant> want[] = {
        {id::kXferProtocol, I2(2)}, {id::kRows, I2(40)},          {id::kHandshaking, I2(1)},
        {id::kSettings, S("4800,N,8,1")}, {id::kOutBufferSize, I2(4096)}, {id::kCaptureMode, I2(0)},
        {id::kEmulation, I2(4)},    {id::kBackColor, I2(1)},      {id::kAutoZModem, B(true)},
        {id::kCommPort, I2(1)},     {id::kDTREnable, B(true)},    {id::kInTimeout, I4(0)},
        {id::kEcho, B(false)},      {id::kAppearance, I2(0)},     {id::kAnswerBack, S("")},
    };
    for (const auto& [dispid, v] : want) {
        auto got = Get(*n, dispid).value;
        if (v.type() == com::VarType::String || v.type() == com::VarType::Bool) EXPECT_EQ(got, v) << dispid;
        else EXPECT_EQ(got.integer(), v.integer()) << dispid;
    }
    // Every key the reset reads that "保存" writes gives the new instance the
    // value its field showed.
    int read = 0;
    for (const PropertyRow* row : ProfileRows()) {
        const auto keys = SavedDefaultKeys();
        if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return profile::EqualsNoCase(k, row->profileKey); }))
            continue;
        ++read;
        const FieldState& f = pages.Field(row->profileKey);
        const Variant got = Get(*n, row->info.dispid).value;
        switch (f.field->kind) {
        case FieldKind::Number: EXPECT_EQ(std::to_string(got.integer()), f.text) << row->profileKey; break;
        case FieldKind::Text: EXPECT_EQ(Cp932ToUtf8(got.text()), f.text) << row->profileKey; break;
        case FieldKind::Combo: EXPECT_EQ(got.integer(), f.index) << row->profileKey; break;
        case FieldKind::Check: EXPECT_EQ(got.integer() != 0, f.checked) << row->profileKey; break;
        case FieldKind::Real: ADD_FAILURE() << row->profileKey; break;
        }
    }
    EXPECT_EQ(read, 21);  // all but Interval, which no page shows
}

TEST(PropertyPagesTest, ResetRemovesTheSectionAndMakesApplySetEveryDefault)
{
    struct Case {
        const char* name;
        std::optional<std::string> profileText;  // none: no file
    };
    const Case cases[] = {
        {"section", "[Default Values]\r\nRows=40\r\nXferProtocol=2\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n"},
        {"no section", "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n"},
        {"no file", std::nullopt},
    };
    for (const auto& test : cases) {
        TempDir dir;
        const auto profile = dir.path() / "tolvexcomm.ini";
        if (test.profileText) dir.Write("tolvexcomm.ini", *test.profileText);
        RecordingSite site;
        auto c = MakeChangedControl(site, profile);
        PropertyPageSet pages(*c, profile);
        pages.Load();
        ASSERT_TRUE(pages.ResetDefaults()) << test.name;
        if (test.profileText) EXPECT_EQ(ReadAll(profile), "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n") << test.name;
        else EXPECT_FALSE(std::filesystem::exists(profile));
        for (const auto& f : pages.Fields()) EXPECT_EQ(f.changed, f.dispid.has_value()) << f.field->name;
        EXPECT_EQ(pages.Field("XferProtocol").index, 5);
        EXPECT_TRUE(pages.Field("XferCarrierAbort").checked);
        EXPECT_EQ(pages.Field("FontName").text, "MS Sans Serif");

        EXPECT_TRUE(pages.Apply().empty()) << test.name;
        // The control holds the built-in defaults, as a new instance does.
        RecordingSite fresh;
        fresh.userMode = false;
        auto n = MakeControl(fresh, profile);
        for (const auto& row : PropertyRows()) {
            if (!row.info.persistedName || row.info.type == TypeKind::Font) continue;
            EXPECT_EQ(Get(*c, row.info.dispid).value, Get(*n, row.info.dispid).value)
                << test.name << " " << row.info.name;
        }
        EXPECT_EQ(Get(*c, id::kFont).value.text(), "MS Sans Serif;8;0;0;0;0");
    }
}

// ---------------------------------------------------------------------------
// The sheet

struct Sheet {
    TempDir dir;
    RecordingSite site;
    ControlPtr control;
    std::unique_ptr<PropertySheet> sheet;
    std::vector<QString> told;

    Sheet()
    {
        App();
        control = MakeChangedControl(site, dir.path() / "tolvexcomm.ini");
        sheet = std::make_unique<PropertySheet>(*control, dir.path() / "tolvexcomm.ini");
        sheet->tell() = [this](const QString& text) { told.push_back(text); };
        sheet->show();
    }
    template <class W>
    W* Field(const char* name)
    {
        auto* w = qobject_cast<W*>(sheet->FieldWidget(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Type(const char* name, const QString& text)
    {
        auto* edit = Field<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
};

TEST(PropertySheetTest, PagesInOrderShowTheControlsValuesAndApplyWhatWasEdited)
{
    Sheet s;
    QStringList captions;
    for (int i = 0; i < s.sheet->tabs()->count(); ++i) captions << s.sheet->tabs()->tabText(i);
    EXPECT_EQ(captions, QStringList({QString::fromUtf8("ｴﾐｭﾚｰｼｮﾝ"), QString::fromUtf8("フォント"),
                                     QString::fromUtf8("設定 (標準)"), QString::fromUtf8("設定 (拡張)"),
                                     QString::fromUtf8("ﾌｧｲﾙ転送")}));
    EXPECT_EQ(s.Field<QLineEdit>("Rows")->text(), "40");
    EXPECT_EQ(s.Field<QLineEdit>("InTimeOut")->text(), "1500");
    EXPECT_EQ(s.Field<QComboBox>("HandShaking")->currentText(), "2 - _TOLVEX_HANDSHAKING_RTS");
    EXPECT_EQ(s.Field<QComboBox>("FontName")->currentText(), "Courier");
    EXPECT_FALSE(s.Field<QCheckBox>("DTREnable")->isChecked());
    EXPECT_EQ(s.sheet->FieldWidget("HdnHeight"), nullptr);
    EXPECT_FALSE(s.sheet->ApplyButton()->isEnabled());

    auto* protocol = s.Field<QComboBox>("XferProtocol");
    ASSERT_EQ(protocol->count(), 9);
    s.sheet->tabs()->setCurrentIndex(4);
    protocol->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(protocol, Qt::Key_Down);  // from the third item to the sixth
    EXPECT_EQ(protocol->currentIndex(), 5);
    s.Type("Rows", "33");
    s.Field<QCheckBox>("DTREnable")->click();
    EXPECT_TRUE(s.sheet->ApplyButton()->isEnabled());
    s.sheet->ApplyButton()->click();
    EXPECT_TRUE(s.told.empty());
    EXPECT_EQ(Get(*s.control, id::kXferProtocol).value.integer(), 5);
    EXPECT_EQ(Get(*s.control, id::kRows).value.integer(), 33);
    EXPECT_EQ(Get(*s.control, id::kDTREnable).value, B(true));
    EXPECT_FALSE(s.sheet->ApplyButton()->isEnabled());
}

TEST(PropertySheetTest, ARefusedFieldIsShownAndTheSheetStaysOpen)
{
    Sheet s;
    s.Type("Columns", "100");
    s.Type("InTimeOut", "soon");
    s.sheet->accept();
    ASSERT_EQ(s.told.size(), 1u);
    EXPECT_TRUE(s.told[0].startsWith(QString::fromUtf8("受信タイムアウト"))) << s.told[0].toStdString();
    EXPECT_EQ(s.sheet->tabs()->currentIndex(), 3);
    EXPECT_TRUE(s.sheet->isVisible());
    EXPECT_TRUE(s.site.changed.empty());
    EXPECT_EQ(s.sheet->result(), QDialog::Rejected);
}

TEST(PropertySheetTest, AboutSaveAndResetButtonsMarkNothingChangedAndWorkOnTheProfile)
{
    Sheet s;
    const auto profile = s.dir.path() / "tolvexcomm.ini";
    // About shows the control's About box (closed by itself here).
    ::setenv("TOLVEXCOMM_ABOUT_AUTOCLOSE", "1", 1);
    s.sheet->AboutButton()->click();
    ::unsetenv("TOLVEXCOMM_ABOUT_AUTOCLOSE");
    EXPECT_FALSE(s.sheet->ApplyButton()->isEnabled());

    s.sheet->SaveButton()->click();
    EXPECT_TRUE(s.told.empty());
    EXPECT_EQ(profile::ReadProfileString("Default Values", "Rows", profile), "40");
    EXPECT_FALSE(s.sheet->ApplyButton()->isEnabled());

    s.sheet->ResetButton()->click();
    EXPECT_FALSE(profile::IniFile::Load(profile).HasSection("Default Values"));
    EXPECT_EQ(s.Field<QLineEdit>("Rows")->text(), "25");
    EXPECT_EQ(s.Field<QComboBox>("XferProtocol")->currentIndex(), 5);
    EXPECT_EQ(s.Field<QComboBox>("FontName")->currentText(), "MS Sans Serif");
    EXPECT_TRUE(s.sheet->ApplyButton()->isEnabled());  // every bound field is to be set
    s.sheet->accept();
    EXPECT_EQ(s.sheet->result(), QDialog::Accepted);
    EXPECT_EQ(Get(*s.control, id::kRows).value.integer(), 25);
    EXPECT_EQ(Get(*s.control, id::kSettings).value.text(), "9600,N,8,1");
}

// ---------------------------------------------------------------------------
// Registration of the page classes

TEST(PropertyPagesTest, RegistrationAddsThePagesAndUnregistrationLeavesTheFileAsItWas)
{
    TempDir dir;
    const std::optional<std::string> before[] = {
        std::string("; hand-made\r\n[Other Control]\r\nPath=/x\r\n"),
        std::nullopt,
    };
    for (const auto& text : before) {
        const auto file = dir.path() / "registry.ini";
        std::filesystem::remove(file);
        if (text) dir.Write("registry.ini", *text);
        ASSERT_EQ(registry::Register(file, "/opt/lib/libtolvexcom32.so"), com::kOk);
        const auto ini = profile::IniFile::Load(file);
        for (const auto& page : com::kPageClasses) {
            EXPECT_EQ(registry::FindLibrary(file, page.progId), "/opt/lib/libtolvexcom32.so") << page.progId;
            EXPECT_EQ(ini.Get(std::string("CLSID ") + page.clsid, "Name"), "Tolvexcomm Property Page");
        }
        ASSERT_EQ(registry::Unregister(file), com::kOk);
        if (text) EXPECT_EQ(ReadAll(file), *text);
        else EXPECT_FALSE(std::filesystem::exists(file));
    }

    // The type library entry already gone: reported, and the class and page
    // entries are removed all the same.
    const auto file = dir.Write("registry.ini", "[Other Control]\r\nPath=/x\r\n");
    ASSERT_EQ(registry::Register(file, "/opt/lib/libtolvexcom32.so"), com::kOk);
    auto ini = profile::IniFile::Load(file);
    ASSERT_TRUE(ini.RemoveSection(std::string("TypeLib ") + com::kTypeLibId));
    ASSERT_TRUE(ini.Save(file));
    EXPECT_EQ(registry::Unregister(file), com::kSelfRegTypeLib);
    EXPECT_EQ(ReadAll(file), "[Other Control]\r\nPath=/x\r\n");
}

}  // namespace
}  // namespace tolvex::control::testing
