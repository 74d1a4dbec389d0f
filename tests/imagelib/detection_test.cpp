// Format detection: the extension first, then the file's first bytes; and what a failed read says.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace zarn::test;

namespace {

Bytes text(const char* s, std::size_t pad = 12)
{
    Bytes bytes(s, s + std::strlen(s));
    bytes.resize(std::max(bytes.size(), pad), 0);
    return bytes;
}

// The whole literal, NULs included, padded to 12 bytes.
template <std::size_t N>
Bytes chars(const char (&s)[N])
{
    Bytes bytes(s, s + N - 1);
    bytes.resize(std::max<std::size_t>(bytes.size(), 12), 0);
    return bytes;
}

struct Signature {
    Bytes head;
    int code;
};

const std::vector<Signature>& signatures()
{
    static const std::vector<Signature> table{
        {text("BM"), 1},
        {text("GIF87a"), 2},
        {text("GIF89a"), 2},
        {text("P1"), 3},
        {text("P6\n3 3\n255"), 3},
        {text("P4"), 3},
        {{0xFF, 0xD8, 0xFF, 0xE0}, 4},
        {text("MM\0*"), 6},
        {text("II*"), 6},
        {{0x89, 'P', 'N', 'G', 13, 10, 26, 10}, 9},
        {text("FORM....ILBM"), 10},
        {text("P7"), 0},
        {text("P0"), 0},
        {text("GIF7"), 0},
        {{0xFF, 0xD8, 0x00}, 0},
        {text("B"), 0},
        {{'B'}, 0},
        {{}, 0},
        {text("hello world!"), 0},
        {{0x89, 'P', 'N'}, 0},
        {text("FOR"), 0},
        {chars("RIFF\x10\0\0\0WEBPVP8 "), 12},
        {chars("RIFF\x10\0\0\0WAVE"), 0},
        {chars("\0\0\0\x1c"
               "ftypavif"),
         13},
        {chars("\0\0\0\x1c"
               "ftypavis"),
         13},
        {chars("\0\0\0\x1c"
               "ftypheic"),
         14},
        {chars("\0\0\0\x1c"
               "ftypmif1"),
         14},
        {chars("\0\0\0\x1c"
               "ftypisom"),
         0},
        {{0xFF, 0x0A, 0xFA, 0x7F}, 15},
        {{0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A}, 15},
        {text("FUJIFILMCCD-RAW 0201", 16), 16},
        {chars("\0\0\0\x18"
               "ftypcrx "),
         16},
    };
    return table;
}

TEST(Detection, SignaturesFromTheFirstBytes)
{
    for (const Signature& s : signatures()) {
        const std::string shown(s.head.begin(), s.head.end());
        EXPECT_EQ(zarn::format_from_signature(s.head.data(), s.head.size()), s.code) << shown;
        // The same bytes in a file without an extension reach _Pic_Valid by content.
        const std::string path = temp_path("noext");
        write_file(path, s.head);
        EXPECT_EQ(_Pic_Valid(path.c_str()), s.code) << shown;
    }
}

TEST(Detection, ExtensionWinsWithoutOpeningTheFile)
{
    EXPECT_EQ(_Pic_Valid(temp_path("missing.bmp").c_str()), 1);
    EXPECT_EQ(_Pic_Valid(temp_path("missing.Raf").c_str()), 11);
    EXPECT_EQ(_Pic_Valid(temp_path("missing.xif").c_str()), 100);
    EXPECT_EQ(_Pic_Valid(temp_path("missing").c_str()), 0);

    const std::string gif_named_bmp = temp_path("picture.gif");
    write_file(gif_named_bmp, text("BM"));
    EXPECT_EQ(_Pic_Valid(gif_named_bmp.c_str()), 2);

    const std::string unknown_extension = temp_path("picture.dat");
    write_file(unknown_extension, text("GIF89a"));
    EXPECT_EQ(_Pic_Valid(unknown_extension.c_str()), 2);
}

TEST(Detection, DotInAFolderNameStartsTheExtension)
{
    // "/x/my.bmp/image" has the extension ".bmp/image": no format, so the
    // content decides, even though the folder's name ends in .bmp.
    const std::string folder = temp_path("my.bmp");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/image";
    write_file(path, text("GIF89a"));
    EXPECT_EQ(_Pic_Valid(path.c_str()), 2);
    EXPECT_EQ(_Pic_ValidExt(path.c_str(), 1), 0);
    EXPECT_EQ(_Pic_Valid((folder + "/missing").c_str()), 0);
}

TEST(Detection, ADotOnlyAtTheStartIsNoExtension)
{
    // Relative names: the whole path is ".bmp", so there is no extension.
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(temp_dir());
    write_file(".bmp", text("GIF89a"));
    EXPECT_EQ(_Pic_Valid(".bmp"), 2);
    EXPECT_EQ(_Pic_ValidExt(".bmp", 1), 0);
    EXPECT_EQ(_Pic_Valid("image.bmp"), 1);
    std::filesystem::current_path(here);
}

// ".raf" names both the texture and Fujifilm's RAW files: the first bytes
// decide, and anything else stays a texture.
TEST(Detection, ARafFileIsRawOnlyByItsFirstBytes)
{
    const std::string raw = temp_path("photo.RAF");
    write_file(raw, text("FUJIFILMCCD-RAW 0201FF383501", 64));
    EXPECT_EQ(_Pic_Valid(raw.c_str()), 16);
    EXPECT_EQ(_Pic_ValidExt(raw.c_str(), 1), 11);
    const std::string texture = temp_path("floor.raf");
    write_file(texture, Bytes(256 * 256, 7));
    EXPECT_EQ(_Pic_Valid(texture.c_str()), 11);
}

TEST(Detection, ExtensionOnlyNeverLooksInside)
{
    const std::string path = temp_path("noext");
    write_file(path, text("BM"));
    EXPECT_EQ(_Pic_ValidExt(path.c_str(), 1), 0);
    EXPECT_EQ(_Pic_ValidExt(path.c_str(), 0), 1);
    EXPECT_EQ(_Pic_ValidExt(temp_path("x.PNG").c_str(), 1), 9);
    EXPECT_EQ(_Pic_ValidExt(nullptr, 1), 0);
    EXPECT_EQ(_Pic_Valid(nullptr), 0);
}

// Each failure names its reason; a success clears it.
TEST(ReadFailure, SaysWhyAFileCannotBeRead)
{
    ScopedPic pic;
    const std::string text_file = temp_path("notes");
    write_file(text_file, text("hello world!"));
    const std::string text_as_gif = temp_path("notes.gif");
    write_file(text_as_gif, text("hello world!"));
    const std::string cut_short = temp_path("cut.bmp");
    write_file(cut_short, Bytes{'B', 'M', 0, 0});
    const std::string huge = temp_path("huge.bmp");
    BmpBuilder().size(20000, 20000).bits(24).pixel_data({}).write(huge);
    const std::pair<std::string, const char*> cases[] = {
        {temp_path("missing.bmp"), "file not found"},
        {temp_path("missing"), "file not found"},
        {text_file, "not a picture"},
        {text_as_gif, "not a GIF file"},
        {cut_short, "file truncated"},
        {huge, "too large: 20000x20000 needs 1.1 GiB"},
    };
    for (const auto& [path, reason] : cases) {
        EXPECT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 0) << path;
        EXPECT_STREQ(_Pic_FailureText(), reason) << path;
    }
    const std::string good = temp_path("good.bmp");
    BmpBuilder().size(2, 2).bits(24).pixels(rgb_ramp(2, 2)).write(good);
    ASSERT_EQ(_Pic_Read(good.c_str(), pic.get(), 0, 0), 1);
    EXPECT_STREQ(_Pic_FailureText(), "");
    EXPECT_STREQ(_Pic_WarningText(), "");
}

// The rows a short file never supplies are filled in: the read succeeds and says so.
TEST(ReadFailure, AShortFileIsFilledInWithAWarning)
{
    const std::string path = temp_path("short.pgm");
    const std::string pgm = "P5\n4 4\n255\nabcdef";
    write_file(path, Bytes(pgm.begin(), pgm.end()));
    ScopedPic pic;
    ASSERT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1);
    EXPECT_STREQ(_Pic_FailureText(), "");
    EXPECT_STREQ(_Pic_WarningText(), "file truncated, the rest filled in");
    EXPECT_EQ(pic->pixels[15], 0);
}

}  // namespace
