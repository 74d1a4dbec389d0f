// Replays every saved fuzz crasher through the same entry point as its libFuzzer target.
#include "bmp_fuzz_entry.h"
#include "operations_fuzz_entry.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zarn::test;

namespace {

std::vector<std::filesystem::path> crashers(const char* reader)
{
    std::vector<std::filesystem::path> files;
    const std::filesystem::path folder = std::filesystem::path(ZARN_SOURCE_DIR) / "tests/data/crashers" / reader;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Each file once crashed or misbehaved; passing means the sanitizers stay quiet.
TEST(CrasherReplay, Bmp) {
    zarn::fuzz::bmp_fuzz_setup();
    const auto files = crashers("bmp");
    EXPECT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const Bytes data = read_file(file.string());
        zarn::fuzz::run_bmp_input(data.data(), data.size());
    }
}

// The writers and operations take every saved crasher of every reader, as
// their fuzz target takes any input.
TEST(CrasherReplay, WritersAndOperations) {
    zarn::fuzz::operations_fuzz_setup();
    std::size_t replayed = 0;
    const std::filesystem::path root = std::filesystem::path(ZARN_SOURCE_DIR) / "tests/data/crashers";
    for (const auto& folder : std::filesystem::directory_iterator(root)) {
        for (const auto& file : crashers(folder.path().filename().c_str())) {
            SCOPED_TRACE(file.string());
            const Bytes data = read_file(file.string());
            zarn::fuzz::run_operations_input(data.data(), data.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 10u);
}

}  // namespace
