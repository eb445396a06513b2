// Every file of every fuzz target's corpus, fed to its target: the seeds and
// each input that once broke a target. A broken promise aborts, a sanitizer
// stops the run; a file that passes returns here.
#include "fuzz_entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(FuzzCorpus, EveryTargetTakesEveryFileOfItsCorpus)
{
    for (const FuzzEntry& entry : kFuzzEntries) {
        const fs::path folder = fs::path(TESSARO_FUZZ_CORPUS) / entry.name;
        ASSERT_TRUE(fs::is_directory(folder)) << "no corpus for " << entry.name;
        std::vector<fs::path> files;
        for (const auto& f : fs::directory_iterator(folder))
            if (f.is_regular_file()) files.push_back(f.path());
        std::sort(files.begin(), files.end());
        EXPECT_FALSE(files.empty()) << "empty corpus for " << entry.name;
        for (const fs::path& file : files) {
            SCOPED_TRACE(file.string());
            std::ifstream in(file, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(entry.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
        }
    }
}

// The stored files a crash or a full disk may leave cut short: every seed
// of these targets cut at every byte offset still loads or is refused.
TEST(FuzzCorpus, StoredFilesCutAtEveryOffset)
{
    for (const FuzzEntry& entry : kFuzzEntries) {
        const std::string name = entry.name;
        if (name != "settings_files" && name != "map_index" && name != "record_files" && name != "point_files" &&
            name != "file_type")
            continue;
        for (const auto& f : fs::directory_iterator(fs::path(TESSARO_FUZZ_CORPUS) / name)) {
            SCOPED_TRACE(f.path().string());
            std::ifstream in(f.path(), std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            for (std::size_t cut = 0; cut <= bytes.size(); ++cut)
                ASSERT_EQ(entry.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), cut), 0) << cut;
        }
    }
}

}  // namespace
