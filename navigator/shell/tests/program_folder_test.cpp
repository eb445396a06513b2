// The program folder of an installed program: the per-user folder and its
// seeding from the installed data.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/program_folder.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

TEST(ProgramFolder, ChoiceForDevelopmentAndInstalledStarts)
{
    struct Case {
        std::vector<std::string> args;
        const char* env;
        bool cwdIsProgramFolder;
        std::string installed;
        std::string cwd;
        std::string expected;
    };
    const std::string user = "/u/.local/share/tessaro";
    const Case cases[] = {
        // Not installed: the rule of the build folder.
        {{}, nullptr, false, "", "/cwd", "/cwd"},
        {{"--home", "/h"}, nullptr, false, "", "/cwd", "/h"},
        // Installed: --home and TESSARO_HOME still win, as does a current
        // folder that is a program folder; anything else is the user's folder.
        {{"--home", "/h"}, "/env", false, "/usr/share/tessaro", "/cwd", "/h"},
        {{}, "/env", false, "/usr/share/tessaro", "/cwd", "/env"},
        {{}, nullptr, true, "/usr/share/tessaro", "/cwd", "/cwd"},
        {{}, nullptr, false, "/usr/share/tessaro", "/cwd", user},
        {{}, "", false, "/usr/share/tessaro", "/", user},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseProgramFolder(c.args, c.env, c.cwd, c.cwdIsProgramFolder, c.installed, user), c.expected)
            << c.cwd << " installed=" << c.installed;

    EXPECT_EQ(UserProgramFolder("/x/data", "/home/u"), "/x/data/tessaro");
    EXPECT_EQ(UserProgramFolder("", "/home/u"), "/home/u/.local/share/tessaro");
    EXPECT_EQ(UserProgramFolder("relative", "/home/u"), "/home/u/.local/share/tessaro");
    EXPECT_EQ(UserProgramFolder(nullptr, nullptr), "");
}

TEST(ProgramFolder, InstalledDataIsFoundBesideTheProgramsAndNeverChosen)
{
    QTemporaryDir dir;
    const fs::path prefix = dir.path().toStdString();
    fs::create_directories(prefix / "bin");
    EXPECT_EQ(InstalledDataFolder((prefix / "bin").string()), "");  // a build folder
    fs::create_directories(prefix / "share/tessaro/data0");
    const std::string data = InstalledDataFolder((prefix / "bin").string());
    EXPECT_EQ(data, (prefix / "share/tessaro").string());
    // Started from inside the installed data, the program still uses the
    // user's folder.
    EXPECT_EQ(ChooseProgramFolder({}, nullptr, data, IsProgramFolder(data), data, "/u/t"), "/u/t");
}

TEST(ProgramFolder, SeedingCopiesWhatIsMissingAndKeepsTheUsersFiles)
{
    QTemporaryDir dir;
    const fs::path from = fs::path(dir.path().toStdString()) / "share";
    const fs::path to = fs::path(dir.path().toStdString()) / "user";
    Write(from / "data0/GPSCom.bag", "bag");
    Write(from / "data0/CurrentSetting.dat", "installed");
    Write(from / "MapPicSample/MapFileData1.dat", "index");
    fs::permissions(from / "data0/GPSCom.bag", fs::perms::owner_read | fs::perms::group_read);
    Write(to / "data0/CurrentSetting.dat", "mine");

    std::string error;
    ASSERT_TRUE(SeedProgramFolder(from.string(), to.string(), error)) << error;
    EXPECT_EQ(Read(to / "data0/CurrentSetting.dat"), "mine");
    EXPECT_EQ(Read(to / "data0/GPSCom.bag"), "bag");
    EXPECT_EQ(Read(to / "MapPicSample/MapFileData1.dat"), "index");
    EXPECT_NE(fs::status(to / "data0/GPSCom.bag").permissions() & fs::perms::owner_write, fs::perms::none);

    // A later start: the user's changes stay, a file removed from the
    // user's folder comes back.
    Write(to / "MapPicSample/MapFileData1.dat", "edited");
    fs::remove(to / "data0/GPSCom.bag");
    ASSERT_TRUE(SeedProgramFolder(from.string(), to.string(), error)) << error;
    EXPECT_EQ(Read(to / "MapPicSample/MapFileData1.dat"), "edited");
    EXPECT_EQ(Read(to / "data0/GPSCom.bag"), "bag");
    EXPECT_EQ(Read(from / "data0/CurrentSetting.dat"), "installed");
}

TEST(ProgramFolderTest, HomeOptionThenEnvironmentThenCurrentFolder)
{
    struct Case {
        std::vector<std::string> args;
        const char* env;
        const char* expected;
    };
    const Case cases[] = {
        {{}, nullptr, "/cwd"},
        {{}, "", "/cwd"},
        {{}, "/env", "/env"},
        {{"--home", "/opt/t"}, "/env", "/opt/t"},
        {{"-x", "--home=/opt/u"}, nullptr, "/opt/u"},
        {{"--home"}, "/env", "/env"},  // option without its value
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveProgramFolder(c.args, c.env, "/cwd"), c.expected);
    }
}

}  // namespace
}  // namespace tessaro
