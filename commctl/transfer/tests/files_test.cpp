// Both file stores behave alike: what a protocol relies on.

#include "transfer/files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace tolvex::transfer {
namespace {

void CheckStore(FileAccess& files, const std::string& dir)
{
    const std::string name = dir + "a.bin";
    int error = 0;
    EXPECT_EQ(files.OpenRead(dir + "missing", error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(files.Exists(name));
    {
        auto w = files.OpenWrite(name, false, error);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->WriteAt(0, "hello world"));
        EXPECT_TRUE(w->WriteAt(6, "WORLD!"));
        // Another writer of the same file is refused while this one holds it.
        EXPECT_EQ(files.OpenWrite(name, true, error), nullptr);
        EXPECT_EQ(error, EBUSY);
        EXPECT_TRUE(w->SetLength(11));
        EXPECT_TRUE(SetTimeIfPlausible(*w, 1000000000));   // 2001
        EXPECT_FALSE(SetTimeIfPlausible(*w, 0));           // before 1971: kept
        EXPECT_FALSE(SetTimeIfPlausible(*w, 2145916800));  // 2038-01-01: kept
    }
    EXPECT_TRUE(files.Exists(name));
    {
        auto r = files.OpenRead(name, error);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Size(), 11);
        EXPECT_EQ(r->ModTime(), 1000000000);
        char buf[8];
        EXPECT_EQ(r->ReadAt(6, buf, sizeof buf), 5u);  // short at the end
        EXPECT_EQ(std::string(buf, 5), "WORLD");
        EXPECT_EQ(r->ReadAt(11, buf, sizeof buf), 0u);
    }
    {
        // Resuming keeps what is there; a new receive empties it.
        auto w = files.OpenWrite(name, true, error);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->Size(), 11);
    }
    {
        auto w = files.OpenWrite(name, false, error);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->Size(), 0);
    }
}

TEST(Files, MemoryAndDiskStoresAgree)
{
    {
        SCOPED_TRACE("memory");
        MemoryFiles memory;
        CheckStore(memory, "");
    }
    {
        SCOPED_TRACE("disk");
        const auto dir = std::filesystem::temp_directory_path() /
                         ("tolvex_files_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        DiskFiles disk;
        CheckStore(disk, dir.string() + "/");
        std::filesystem::remove_all(dir);
    }
}

}  // namespace
}  // namespace tolvex::transfer
