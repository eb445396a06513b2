// Places, folders and files for the windows that pick files.
#include "shell/folder_browser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testsupport/scratch_dir.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;

TEST(FolderBrowser, PlacesFoldersAndMatchingFiles)
{
    testsupport::ScratchDir dir("browse");
    const fs::path media = dir.path() / "media", mnt = dir.path() / "mnt";
    fs::create_directories(media / "taro" / "STICK");
    fs::create_directories(mnt / "disk");
    const auto places = ListPlaces("/home/taro", "/home/taro", {media.string(), mnt.string()});
    ASSERT_EQ(places.size(), 4u);  // home (the program folder is the same), /, two volumes
    EXPECT_EQ(places[1].path, "/");
    EXPECT_EQ(places[2].path, (media / "taro" / "STICK").string());
    EXPECT_EQ(places[3].path, (mnt / "disk").string());
    EXPECT_EQ(PlaceOf(places, "/home/taro/logs"), 0);
    EXPECT_EQ(PlaceOf(places, "/home/taroX"), 1) << "a prefix only at a / boundary";
    EXPECT_EQ(PlaceOf(places, (mnt / "disk" / "a").string()), 3);

    const fs::path logs = dir.path() / "logs";
    fs::create_directories(logs / "sub");
    fs::create_directories(logs / ".hidden");
    for (const char* name : {"b.TXT", "a.txt", "c.csv", "noext"}) std::ofstream(logs / name) << "x";
    EXPECT_EQ(Subfolders(logs.string()), std::vector<std::string>{"sub"});
    EXPECT_EQ(MatchingFiles(logs.string(), "*.txt"), (std::vector<std::string>{"a.txt", "b.TXT"}));
    EXPECT_EQ(MatchingFiles(logs.string(), "*.*").size(), 4u);
    EXPECT_TRUE(FolderIsReady(logs.string()));
    EXPECT_FALSE(FolderIsReady((dir.path() / "gone").string()));
    EXPECT_FALSE(FolderIsReady((logs / "a.txt").string()));
    EXPECT_EQ(ParentFolder("/home/taro/"), "/home");
    EXPECT_EQ(ParentFolder("/"), "/");
}

}  // namespace
}  // namespace tessaro
