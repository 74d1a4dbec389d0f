// Writing files: _Pic_Write's naming rules, the safe replace of an old file, and the conversion exports.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zarn::test;
using zarn::read_bmp;
using zarn::write_bmp;

namespace {

std::vector<std::pair<std::string, std::string>> messages;
void record_message(const char* text, const char* caption)
{
    messages.emplace_back(text, caption);
}

class PicWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        messages.clear();
        _Pic_SetMessageHandler(record_message);
        pic.set(5, 3, 8, ramp(5, 3), grey_ramp(256));
    }
    void TearDown() override { _Pic_SetMessageHandler(nullptr); }

    // Runs _Pic_Write on a buffer with room for the new extension and
    // returns the result and what the buffer says afterwards.
    std::pair<int, std::string> write(const std::string& path, int save_type)
    {
        std::vector<char> buffer(path.begin(), path.end());
        buffer.resize(path.size() + 8, '\0');
        const int result = _Pic_Write(buffer.data(), pic.get(), save_type, 75);
        return {result, buffer.data()};
    }

    ScopedPic pic;
};

TEST_F(PicWrite, PutsTheSaveTypesExtensionOnTheFileName)
{
    const std::string dir = temp_dir();
    std::filesystem::create_directory(dir + "/my.dir");
    const std::pair<std::string, std::string> cases[] = {
        {"/out.xyz", "/out.bmp"},           {"/out", "/out.bmp"},         {"/out.bmp", "/out.bmp"},
        {"/my.dir/out", "/my.dir/out.bmp"}, {"/.hidden", "/.hidden.bmp"}, {"/a.b.c", "/a.b.bmp"},
    };
    for (const auto& [given, written] : cases) {
        const auto [result, name] = write(dir + given, 1);
        EXPECT_EQ(result, 1) << given;
        EXPECT_EQ(name, dir + written) << given;
        ScopedPic back;
        ASSERT_EQ(read_bmp(name.c_str(), back.get()), 1) << given;
        EXPECT_EQ(pixel_rows(*back), ramp(5, 3));
    }
    const auto [result, name] = write(dir + "/out.bmp", 10);
    EXPECT_EQ(result, 1);  // the GIF writer stores it under the changed name
    EXPECT_EQ(name, dir + "/out.gif");
}

TEST_F(PicWrite, UnknownSaveTypeTouchesNothing)
{
    for (int save_type : {0, 21, -1, 1000}) {
        const auto [result, name] = write(temp_path("out.xyz"), save_type);
        EXPECT_EQ(result, 0) << save_type;
        EXPECT_EQ(name, temp_path("out.xyz")) << save_type;
    }
    EXPECT_EQ(folder_entries(temp_dir()).size(), 3u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PicWrite, MonochromeCannotBecomeJpeg)
{
    pic.set(9, 2, 1, mono_pattern(9, 2), grey_ramp(2));
    for (int save_type : {2, 3}) {
        messages.clear();
        const auto [result, name] = write(temp_path("mono.bmp"), save_type);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(name, temp_path("mono.jpg"));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].first, "Cannot save 2 Colour Images\nin Jpeg Format");
        EXPECT_EQ(messages[0].second, "ZarnGfx");
    }
    messages.clear();
    EXPECT_EQ(write(temp_path("mono.bmp"), 1).first, 1);
    EXPECT_TRUE(messages.empty());
}

// A write that runs out of room part-way: the file-size limit stands in for
// a full disk. It runs in a child so the limit stays there.
TEST(SafeWrite, FailedWriteLeavesTheOldFileAsItWas)
{
    const std::string path = temp_path("keep.bmp");
    Bytes old_file(10000);
    for (std::size_t i = 0; i < old_file.size(); ++i) old_file[i] = std::uint8_t(i * 31);
    write_file(path, old_file);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        ScopedPic pic;
        pic.set(200, 200, 24, rgb_ramp(200, 200));
        _exit(10 + write_bmp(path.c_str(), pic.get()));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 10) << "write_bmp should report the failure";
    EXPECT_EQ(read_file(path), old_file);
    EXPECT_EQ(folder_entries(temp_dir()), (std::vector<std::string>{"config", "data", "keep.bmp", "tmp"}));
}

TEST(SafeWrite, MissingFolderFailsCleanly)
{
    ScopedPic pic;
    pic.set(2, 2, 24, rgb_ramp(2, 2));
    EXPECT_EQ(write_bmp(temp_path("no/such/folder.bmp").c_str(), pic.get()), 0);
    EXPECT_EQ(pic->out_file, nullptr);
}

TEST(SafeWrite, ReplacingKeepsModeAndLinks)
{
    ScopedPic pic;
    pic.set(2, 2, 24, rgb_ramp(2, 2));
    const std::string target = temp_path("target.bmp");
    write_file(target, Bytes(100, 1));
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const std::string link = temp_path("link.bmp");
    std::filesystem::create_symlink(target, link);

    ASSERT_EQ(write_bmp(link.c_str(), pic.get()), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    ScopedPic back;
    ASSERT_EQ(read_bmp(target.c_str(), back.get()), 1);
    EXPECT_EQ(pixel_rows(*back), rgb_ramp(2, 2));

    const mode_t old_mask = umask(077);  // a new file follows the umask
    const std::string fresh = temp_path("fresh.bmp");
    EXPECT_EQ(write_bmp(fresh.c_str(), pic.get()), 1);
    umask(old_mask);
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

class Conversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        BmpBuilder().size(7, 3).bits(4).palette(grey_ramp(16)).pixels(ramp(7, 3, 16)).write(source);
    }
    void expect_copy_of_source(const std::string& path)
    {
        ScopedPic back;
        ASSERT_EQ(read_bmp(path.c_str(), back.get()), 1) << path;
        EXPECT_EQ(back->bits, 4);
        EXPECT_EQ(pixel_rows(*back), ramp(7, 3, 16));
    }
    const std::string source = temp_path("source.bmp");
    ScopedPic pic;
};

TEST_F(Conversion, ExportsRoundTripThroughBmp)
{
    EXPECT_EQ(_Pic_Convert(source.c_str(), temp_path("converted.xyz").c_str(), pic.get(), 0, 0, 1, 75), 1);
    expect_copy_of_source(temp_path("converted.bmp"));
    EXPECT_EQ(pic->pixels, nullptr);

    EXPECT_EQ(_anytobmps(source.c_str(), temp_path("any.bmp").c_str(), pic.get(), 0, 0), 1);
    expect_copy_of_source(temp_path("any.bmp"));
    EXPECT_EQ(pic->pixels, nullptr);

    std::string out = temp_path("back.dat");
    out.resize(out.size() + 8, '\0');
    EXPECT_EQ(_bmptoanys(source.c_str(), out.data(), pic.get(), 1, 75), 1);
    EXPECT_STREQ(out.c_str(), temp_path("back.bmp").c_str());
    expect_copy_of_source(temp_path("back.bmp"));
    EXPECT_EQ(pic->pixels, nullptr);
}

TEST_F(Conversion, UnreadableInputWritesNothing)
{
    const std::string garbage = temp_path("garbage.bmp");
    write_file(garbage, Bytes(20, 'B'));
    EXPECT_EQ(_Pic_Convert(garbage.c_str(), temp_path("a.bmp").c_str(), pic.get(), 0, 0, 1, 75), 0);
    EXPECT_EQ(_anytobmps(temp_path("missing.bmp").c_str(), temp_path("b.bmp").c_str(), pic.get(), 0, 0), 0);
    char out[64] = "c.bmp";
    EXPECT_EQ(_bmptoanys(garbage.c_str(), out, pic.get(), 1, 75), 0);
    EXPECT_FALSE(file_exists(temp_path("a.bmp")));
    EXPECT_FALSE(file_exists(temp_path("b.bmp")));
    EXPECT_FALSE(file_exists("c.bmp"));
    EXPECT_EQ(_Pic_Convert(nullptr, "x", pic.get(), 0, 0, 1, 75), 0);
    EXPECT_EQ(_anytobmps("x", nullptr, pic.get(), 0, 0), 0);
    EXPECT_EQ(_bmptoanys("x", out, nullptr, 1, 75), 0);
}

}  // namespace
