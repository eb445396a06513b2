// Profile files and the registry file.
#include "control_fixture.h"

#include "control/ini_file.h"
#include "control/registry_file.h"

#include <cstdlib>

namespace tolvex::control::testing {
namespace {

using profile::IniFile;

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(IniFileTest, ReadsSectionsAndKeysLikeProfileFunctions)
{
    const auto ini = IniFile::Parse(
        "\xEF\xBB\xBF; comment\r\n"
        "[Ports]\r\n"
        "COM3=/dev/ttyUSB0\r\n"
        "com3=/dev/ignored\r\n"
        "  COM4 =  \"/dev/ttyACM0\"  \n"
        "garbage line\r\n"
        "[ports]\r\n"
        "COM5=/dev/pts/7\r\n"
        "[Empty]\r\n"
        "Key=\r\n");
    EXPECT_EQ(ini.Get("ports", "Com3"), "/dev/ttyUSB0");  // the first of equal keys
    EXPECT_EQ(ini.Get("PORTS", "COM4"), "/dev/ttyACM0");
    EXPECT_EQ(ini.Get("Ports", "COM5"), "/dev/pts/7");    // a repeated section continues
    EXPECT_EQ(ini.Get("Empty", "Key"), "");
    EXPECT_EQ(ini.Get("Ports", "COM9"), std::nullopt);
    EXPECT_EQ(ini.Get("Nope", "COM3"), std::nullopt);
}

TEST(IniFileTest, RewritingKeepsWhatItDoesNotChange)
{
    TempDir dir;
    const std::string text = "; keep me\r\n[Default Values]\r\nRows=40\r\n# note\r\n\r\n[Other]\r\nX = 1\r\n";
    auto ini = IniFile::Parse(text);
    EXPECT_EQ(ini.Serialize(), text);
    ini.Set("default values", "ROWS", "30");
    ini.Set("Default Values", "Columns", "132");
    ini.Set("New", "A", "b");
    const auto file = dir.path() / "sub" / "tolvexcomm.ini";
    ASSERT_TRUE(ini.Save(file));
    EXPECT_EQ(ReadAll(file),
              "; keep me\r\n[Default Values]\r\nRows=30\r\n# note\r\nColumns=132\r\n\r\n[Other]\r\nX = 1\r\n"
              "[New]\r\nA=b\r\n");
    EXPECT_TRUE(ini.RemoveSection("DEFAULT VALUES"));
    EXPECT_FALSE(ini.RemoveSection("Default Values"));
    EXPECT_TRUE(ini.RemoveKey("Other", "x"));
    EXPECT_EQ(ini.Serialize(), "; keep me\r\n[Other]\r\n[New]\r\nA=b\r\n");
    // Only the file itself is left in the folder: no temporary files.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "sub"), {}), 1);
}

TEST(IniFileTest, ReadsOneKeyOfTheProfileInTheConfigFolder)
{
    TempDir dir;
    ::setenv("TOLVEXCOMM_CONFIG_DIR", dir.path().c_str(), 1);
    dir.Write("tolvexcomm.ini", "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n");
    EXPECT_EQ(profile::ProfilePath(), dir.path() / "tolvexcomm.ini");
    EXPECT_EQ(profile::ReadProfileString("Ports", "COM3"), "/dev/ttyUSB0");
    ::unsetenv("TOLVEXCOMM_CONFIG_DIR");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = xdg ? xdg : "";
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(profile::ConfigDir(), dir.path() / "tolvexcomm");
    if (xdg) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
}

TEST(IniFileTest, ProfileNumbers)
{
    const std::pair<const char*, std::optional<long long>> cases[] = {
        {"40", 40}, {"  -7", -7}, {"+3x", 3}, {"12 34", 12}, {"", std::nullopt}, {"x1", std::nullopt},
        {"2147483647", 2147483647LL}, {"-2147483648", -2147483648LL}, {"2147483648", std::nullopt},
        {"99999999999999999999999", std::nullopt}, {"-", std::nullopt},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(profile::ProfileNumber(text), want) << text;
}

TEST(RegistryFileTest, RegisterFindUnregister)
{
    TempDir dir;
    const auto file = dir.Write("registry.ini", "[Other Control]\r\nPath=/x\r\n");
    EXPECT_EQ(registry::Unregister(file), com::kSelfRegTypeLib);  // never registered
    ASSERT_EQ(registry::Register(file, "/opt/lib/libtolvexcom32.so"), com::kOk);
    EXPECT_EQ(registry::FindLibrary(file, "TOLVEXCOMM.TolvexcommCtrl.1"), "/opt/lib/libtolvexcom32.so");
    EXPECT_EQ(registry::FindLibrary(file, "TolvexcommLib.TolvexComm"), "/opt/lib/libtolvexcom32.so");
    EXPECT_EQ(registry::FindLibrary(file, com::kControlClsid), "/opt/lib/libtolvexcom32.so");
    EXPECT_EQ(registry::FindLibrary(file, "Other.Control"), std::nullopt);
    // Registering again replaces the entries.
    ASSERT_EQ(registry::Register(file, "/new/libtolvexcom32.so"), com::kOk);
    EXPECT_EQ(registry::FindLibrary(file, com::kProgId), "/new/libtolvexcom32.so");

    ASSERT_EQ(registry::Unregister(file), com::kOk);
    EXPECT_EQ(registry::FindLibrary(file, com::kProgId), std::nullopt);
    EXPECT_EQ(registry::Unregister(file), com::kSelfRegTypeLib);
    EXPECT_EQ(IniFile::Load(file).Get("Other Control", "Path"), "/x");
    // A folder that cannot be created fails the first step.
    EXPECT_EQ(registry::Register(file / "not-a-folder" / "registry.ini", "/x.so"), com::kSelfRegTypeLib);
}

}  // namespace
}  // namespace tolvex::control::testing
