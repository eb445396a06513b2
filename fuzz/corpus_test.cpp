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

}  // namespace
