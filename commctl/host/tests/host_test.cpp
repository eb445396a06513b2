// Hosting the control through the library: finding it, creating instances,
// typed helpers, bag files, and the tolvexctl command line.
#include "host/control_host.h"

#include "common/cp932.h"

#include <tolvexcomm/dispids.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "temp_config.h"

namespace tolvex::host {
namespace {

namespace fs = std::filesystem;
namespace id = com::dispid;

std::shared_ptr<ControlLibrary> OpenBeside(std::string& error)
{
    return ControlLibrary::Open({}, error);
}

TEST(HostTest, FindsTheLibraryBesideTheProgramThenThroughTheRegistry)
{
    TempConfig config{"tolvexcomm-host"};
    std::string error;
    auto beside = OpenBeside(error);
    ASSERT_NE(beside, nullptr) << error;
    EXPECT_EQ(fs::path(beside->path()), ProgramFolder() / "libtolvexcom32.so");

    // Registration records this library; a copy elsewhere is found by name.
    ASSERT_EQ(beside->Register(), com::kOk);
    const fs::path copy = config.dir() / "elsewhere" / "libtolvexcom32.so";
    fs::create_directories(copy.parent_path());
    fs::copy_file(beside->path(), copy);
    const std::string missing = "/nonexistent/libtolvexcom32.so";
    std::ofstream(config.dir() / "registry.ini", std::ios::app)
        << "[ProgID Test.Control]\r\nCLSID={11111111-2222-3333-4444-555555555555}\r\n"
        << "[CLSID {11111111-2222-3333-4444-555555555555}]\r\nInprocServer32=" << copy.string() << "\r\n"
        << "[ProgID Missing.Control]\r\nCLSID={66666666-2222-3333-4444-555555555555}\r\n"
        << "[CLSID {66666666-2222-3333-4444-555555555555}]\r\nInprocServer32=" << missing << "\r\n";
    LoadOptions options;
    options.progId = "Test.Control";
    auto registered = ControlLibrary::Open(options, error);
    ASSERT_NE(registered, nullptr) << error;
    EXPECT_EQ(registered->path(), copy.string());
    options.progId = "TolvexcommLib.TolvexComm";
    EXPECT_EQ(ControlLibrary::Open(options, error)->path(), beside->path());

    // A registered path that does not load falls back to the library beside.
    options.progId = "Missing.Control";
    auto fallback = ControlLibrary::Open(options, error);
    ASSERT_NE(fallback, nullptr) << error;
    EXPECT_EQ(fallback->path(), beside->path());

    // Nothing anywhere: an error that names what was tried.
    options.besideFolder = config.dir();
    EXPECT_EQ(ControlLibrary::Open(options, error), nullptr);
    EXPECT_NE(error.find(missing), std::string::npos) << error;

    EXPECT_EQ(beside->Unregister(), com::kOk);
    EXPECT_EQ(beside->Unregister(), com::kSelfRegTypeLib);
}

TEST(HostTest, InstanceWithTypedHelpersEventsAndUnloading)
{
    TempConfig config{"tolvexcomm-host"};
    std::string error;
    auto lib = OpenBeside(error);
    ASSERT_NE(lib, nullptr) << error;
    {
        ControlInstance gps(lib);
        std::vector<DispId> changed;
        gps.onPropertyChanged = [&](DispId d) { changed.push_back(d); };
        ASSERT_EQ(gps.Create(), com::kOk);
        EXPECT_FALSE(lib->CanUnloadNow());

        // The navigator's sequence of settings.
        EXPECT_TRUE(gps.PutI2(id::kCommPort, 3).ok());
        EXPECT_TRUE(gps.PutUtf8(id::kSettings, "4800,n,8,1").ok());
        EXPECT_TRUE(gps.PutI2(id::kRThreshold, 40).ok());
        EXPECT_TRUE(gps.PutI4(id::kInTimeout, 2000).ok());
        EXPECT_TRUE(gps.PutI2(id::kInBufferCount, 0).ok());
        EXPECT_TRUE(gps.PutI2(id::kInputLen, 0).ok());
        EXPECT_EQ(gps.GetI2(id::kCommPort).value, 3);
        EXPECT_EQ(gps.GetUtf8(id::kSettings).value, "4800,N,8,1");
        EXPECT_EQ(gps.GetI4(id::kInTimeout).value, 2000);
        EXPECT_FALSE(gps.GetBool(id::kPortOpen).value);
        EXPECT_EQ(changed, (std::vector<DispId>{id::kCommPort, id::kSettings, id::kRThreshold, id::kInTimeout}));

        // Errors carry the Japanese text.
        auto refused = gps.PutI2(id::kRows, 0);
        EXPECT_EQ(refused.error(), 380);
        EXPECT_EQ(refused.DescriptionUtf8(), "設定されたプロパティ値は無効です");
        auto closed = gps.GetUtf8(id::kLineInput);
        EXPECT_EQ(closed.error(), 8018);
        EXPECT_EQ(closed.DescriptionUtf8(), "当操作はポートがオープンされている時のみ有効です");

        // Texts cross in CP932.
        EXPECT_TRUE(gps.PutUtf8(id::kAnswerBack, "応答").ok());
        EXPECT_EQ(gps.GetString(id::kAnswerBack).value, Utf8ToCp932("応答"));
        EXPECT_EQ(gps.GetUtf8(id::kAnswerBack).value, "応答");
        EXPECT_FLOAT_EQ(gps.GetR4(id::kFontSize).value, 8.0f);

        // Design mode through the ambient property.
        gps.SetUserMode(false);
        EXPECT_EQ(gps.GetBool(id::kPortOpen).error(), 394);
        EXPECT_TRUE(gps.PutI2(id::kAppearance, 1).ok());
    }
    EXPECT_TRUE(lib->CanUnloadNow());
}

TEST(HostTest, BagFilesRoundTripTextsAndSurviveGarbage)
{
    TempConfig config{"tolvexcomm-host"};
    std::string error;
    auto lib = OpenBeside(error);
    ASSERT_NE(lib, nullptr) << error;

    const std::string texts[] = {"", "plain", "\r\nline\\end\t", " spaced ", "\"quoted\"", "\x83\x65\x83\x58",
                                 std::string("nul\0byte", 8), "\\x41 stays"};
    for (const auto& text : texts) {
        EXPECT_EQ(PropertyBag::Unescape(PropertyBag::Escape(text)), text);
        EXPECT_EQ(PropertyBag::Escape(text).find_first_of("\r\n"), std::string::npos);
    }

    ControlInstance a(lib);
    ASSERT_EQ(a.Create(), com::kOk);
    ASSERT_TRUE(a.PutString(id::kAnswerBack, " \r\nOK\\ ").ok());
    ASSERT_TRUE(a.PutI2(id::kRows, 40).ok());
    ASSERT_TRUE(a.PutBool(id::kDTREnable, false).ok());
    PropertyBag bag;
    a.Save(bag);
    const fs::path file = config.dir() / "GPSCom.bag";
    ASSERT_TRUE(bag.SaveFile(file));
    PropertyBag read;
    ASSERT_TRUE(read.LoadFile(file, error)) << error;
    ControlInstance b(lib);
    ASSERT_EQ(b.Create(&read), com::kOk);
    PropertyBag again;
    b.Save(again);
    ASSERT_EQ(again.values().size(), bag.values().size());
    for (std::size_t i = 0; i < bag.values().size(); ++i) EXPECT_EQ(again.values()[i], bag.values()[i]);

    // A file of noise loads as a bag with whatever it holds; the control
    // falls back to its defaults.
    std::mt19937 rng(11);
    std::string noise;
    for (int i = 0; i < 300000; ++i) noise += static_cast<char>(rng() & 0xFF);
    noise += "\r\n[TolvexcommLib.TolvexComm]\r\nRows=\xFF\xFE\r\nColumns=" + std::string(2 << 20, '9') + "\r\n";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << noise;
    PropertyBag hostile;
    ASSERT_TRUE(hostile.LoadFile(file, error));
    ControlInstance c(lib);
    ASSERT_EQ(c.Create(&hostile), com::kOk);
    EXPECT_EQ(c.GetI2(id::kRows).value, 25);
    EXPECT_EQ(c.GetI2(id::kColumns).value, 80);
    EXPECT_FALSE(hostile.LoadFile(config.dir() / "missing.bag", error));
}

// ---------------------------------------------------------------------------
// Property pages through the library's page classes

TEST(HostTest, PagesOfThePageClassesShareTheirValuesAndSetTheInstance)
{
    static int argc = 1;
    static char name[] = "host_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
    TempConfig config{"tolvexcomm-host"};
    std::string error;
    auto lib = OpenBeside(error);
    ASSERT_NE(lib, nullptr) << error;
    ControlInstance c(lib, false);
    ASSERT_EQ(c.Create(), com::kOk);

    QWidget designer;
    std::vector<com::IPropertyPage*> pages;
    for (const auto& cls : com::kPageClasses) {
        com::IPropertyPage* page = nullptr;
        ASSERT_EQ(lib->CreatePropertyPage(cls.clsid, c.control(), &page), com::kOk) << cls.progId;
        ASSERT_NE(page->Activate(&designer), nullptr);
        pages.push_back(page);
    }
    EXPECT_STREQ(pages[0]->Caption(), "ｴﾐｭﾚｰｼｮﾝ");
    EXPECT_STREQ(pages[1]->Caption(), "設定 (標準)");
    EXPECT_EQ(pages[3]->HelpContext(), 4004);
    EXPECT_STREQ(pages[3]->HelpFile(), "TOLVEXCOM30.HLP");
    com::IPropertyPage* none = nullptr;
    EXPECT_EQ(lib->CreatePropertyPage(com::kControlClsid, c.control(), &none), com::kNoInterface);
    EXPECT_EQ(lib->CreatePropertyPage("{00000000-0000-0000-0000-000000000000}", c.control(), &none),
              com::kClassNotAvailable);

    // An edit on the general page is the emulation page's copy too: its
    // "保存" saves it, and its apply sets it.
    auto* port = pages[1]->Activate(&designer)->findChild<QLineEdit*>("CommPort");
    ASSERT_NE(port, nullptr);
    port->selectAll();
    QTest::keyClicks(port, "4");
    EXPECT_TRUE(pages[1]->IsPageDirty());
    EXPECT_TRUE(pages[0]->IsPageDirty());
    EXPECT_FALSE(pages[3]->IsPageDirty());
    QPushButton* save = nullptr;
    for (auto* b : pages[0]->Activate(&designer)->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8("保存")) save = b;
    ASSERT_NE(save, nullptr);
    save->click();
    std::ifstream profile(config.dir() / "tolvexcomm.ini");
    const std::string text((std::istreambuf_iterator<char>(profile)), {});
    EXPECT_NE(text.find("\r\nCommPort=4\r\n"), std::string::npos) << text;
    EXPECT_EQ(c.GetI2(id::kCommPort).value, 1);
    EXPECT_EQ(pages[0]->Apply(), com::kOk);
    EXPECT_EQ(c.GetI2(id::kCommPort).value, 4);
    EXPECT_FALSE(pages[1]->IsPageDirty());

    for (auto* page : pages) page->Release();
    EXPECT_TRUE(designer.findChildren<QLineEdit*>().isEmpty());  // the widgets went with their pages
}

// ---------------------------------------------------------------------------
// tolvexctl

struct CommandRun {
    int status;
    std::string out;
};

CommandRun Tolvexctl(const std::string& args)
{
    const std::string command = (ProgramFolder() / "tolvexctl").string() + " " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    CommandRun run{-1, {}};
    if (!pipe) return run;
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe)) run.out.append(buf.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(TolvexctlTest, PropsListsTheCustomPropertiesInOrderThenTheStockOnes)
{
    TempConfig config{"tolvexcomm-host"};
    CommandRun run = Tolvexctl("props");
    ASSERT_EQ(run.status, 0);
    std::vector<std::string> rows;
    for (const auto& line : Lines(run.out))
        if (!line.empty() && line[0] != '#') rows.push_back(line);
    ASSERT_EQ(rows.size(), 77u);
    for (int i = 0; i < 74; ++i) EXPECT_EQ(rows[i].substr(0, rows[i].find('\t')), std::to_string(i + 1));
    EXPECT_EQ(rows[23], "24\tSettings\tstring\tRW\tSettings\t\"9600,N,8,1\"");
    EXPECT_EQ(rows[71], "72\tAppearance\tenumAppearType\tRW, write design\tAppearance\t\"0\"");
    EXPECT_EQ(rows[2], "3\tCommEvent\tI2\tR run\t-\t-");
    EXPECT_EQ(rows[74].substr(0, 10), "-515\thWnd\t");
    EXPECT_EQ(rows[75].substr(0, 10), "-512\tFont\t");
}

TEST(TolvexctlTest, GetPutSaveAndLoad)
{
    TempConfig config{"tolvexcomm-host"};
    EXPECT_EQ(Tolvexctl("get Rows").out, "25\n");
    EXPECT_EQ(Tolvexctl("put settings 4800,n,8,1").out, "4800,N,8,1\n");
    CommandRun refused = Tolvexctl("put Rows 0");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "error 380: 設定されたプロパティ値は無効です\n");
    EXPECT_EQ(Tolvexctl("--design get PortOpen").out, "error 394: このプロパティは取得できません\n");
    EXPECT_EQ(Tolvexctl("get PortOpen").out, "False\n");
    EXPECT_EQ(Tolvexctl("put Appearance 1").out, "error 383: このプロパティは設定できません\n");
    EXPECT_EQ(Tolvexctl("--design put Appearance 1").out, "1\n");
    EXPECT_EQ(Tolvexctl("get NoSuch").status, 2);

    const std::string bag = (config.dir() / "a.bag").string();
    ASSERT_EQ(Tolvexctl("--set Rows=40 --set XferProtocol=2 save " + bag).status, 0);
    EXPECT_EQ(Tolvexctl("--bag " + bag + " get Rows").out, "40\n");
    CommandRun loaded = Tolvexctl("load " + bag);
    ASSERT_EQ(loaded.status, 0);
    auto lines = Lines(loaded.out);
    ASSERT_EQ(lines.size(), 41u);  // version, font and the 39 values
    EXPECT_NE(std::find(lines.begin(), lines.end(), "XferProtocol=2"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Rows=40"), lines.end());
}

TEST(TolvexctlTest, ProfileDefaultsReachNewInstances)
{
    TempConfig config{"tolvexcomm-host"};
    std::ofstream(config.dir() / "tolvexcomm.ini") << "[Default Values]\r\nRows=40\r\n";
    EXPECT_EQ(Tolvexctl("get Rows").out, "40\n");
}

TEST(TolvexctlTest, PagesWritesTheBagWhenClosedWithOkAndPicturesEveryPage)
{
    TempConfig config{"tolvexcomm-host"};
    const std::string in = (config.dir() / "in.bag").string(), out = (config.dir() / "out.bag").string();
    ASSERT_EQ(Tolvexctl("--set Rows=40 save " + in).status, 0);
    CommandRun run = Tolvexctl("--bag " + in + " --set XferProtocol=2 pages --ok --save " + out);
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "saved " + out + "\n");
    EXPECT_EQ(Tolvexctl("--bag " + out + " get Rows").out, "40\n");
    EXPECT_EQ(Tolvexctl("--bag " + out + " get XferProtocol").out, "2\n");
    EXPECT_EQ(Tolvexctl("pages --save").status, 2);

    const auto shots = config.dir() / "shots";
    run = Tolvexctl("pages --screenshot " + shots.string());
    ASSERT_EQ(run.status, 0);
    const auto files = Lines(run.out);
    ASSERT_EQ(files.size(), 5u);
    for (const auto& file : files) EXPECT_GT(std::filesystem::file_size(file), 1000u) << file;
}

}  // namespace
}  // namespace tolvex::host
