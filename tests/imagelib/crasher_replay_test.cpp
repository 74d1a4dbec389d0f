// Replays every saved fuzz crasher through the same entry point as its libFuzzer target.
#include "fuzz_readers.h"
#include "operations_fuzz_entry.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

using namespace zarn::test;

namespace zarn::fuzz {
// Names the reader in failure messages, rather than the entry's bytes.
void PrintTo(const ReaderEntry& reader, std::ostream* out)
{
    *out << reader.name;
}
}  // namespace zarn::fuzz

namespace {

const std::filesystem::path kCrashers = std::filesystem::path(ZARN_SOURCE_DIR) / "tests/data/crashers";

std::vector<std::filesystem::path> crashers(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(folder, missing))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class CrasherReplay : public ::testing::TestWithParam<zarn::fuzz::ReaderEntry> {};

// Each file once crashed or misbehaved; passing means the sanitizers stay
// quiet. Every reader keeps at least one, so a renamed or emptied folder fails.
TEST_P(CrasherReplay, ReplaysQuietly)
{
    const zarn::fuzz::ReaderEntry& reader = GetParam();
    reader.setup();
    const auto files = crashers(kCrashers / reader.name);
    EXPECT_FALSE(files.empty()) << "no saved crashers in tests/data/crashers/" << reader.name;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const Bytes data = read_file(file.string());
        reader.run(data.data(), data.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, CrasherReplay, ::testing::ValuesIn(zarn::fuzz::kReaderEntries),
                         [](const auto& case_info) { return std::string(case_info.param.name); });

// A folder no reader replays would be kept for nothing.
TEST(CrasherFolders, EachBelongsToAReader)
{
    for (const auto& folder : std::filesystem::directory_iterator(kCrashers)) {
        const std::string name = folder.path().filename().string();
        EXPECT_TRUE(std::ranges::any_of(zarn::fuzz::kReaderEntries, [&](const auto& reader) {
            return name == reader.name;
        })) << name;
    }
}

// The writers and operations take every saved crasher of every reader, as
// their fuzz target takes any input.
TEST(CrasherReplayAll, WritersAndOperations)
{
    zarn::fuzz::operations_fuzz_setup();
    std::size_t replayed = 0;
    for (const auto& folder : std::filesystem::directory_iterator(kCrashers)) {
        for (const auto& file : crashers(folder.path())) {
            SCOPED_TRACE(file.string());
            const Bytes data = read_file(file.string());
            zarn::fuzz::run_operations_input(data.data(), data.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 10u);
}

}  // namespace
