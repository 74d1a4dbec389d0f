// The format table's texts, extension lookup, and which readers and writers exist yet.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using namespace zarn::test;

namespace {

struct Row {
    const char* description;
    const char* pattern;
    const char* extension;
};

const Row kRows[] = {
    {"All Image Files",
     "*.bmp;*.gif;*.ppm;*.pbm;*.pgm;*.jpg;*.pcd;*.tif;*.tga;*.pcx;*.png;*.iff;*.r8;*.?af;*.webp;*.avif;*.heic;*.heif;"
     "*.jxl;*.dng;*.cr2;*.cr3;*.nef;*.arw;*.orf;*.rw2;*.pef;*.srw",
     ""},
    {"Windows Bitmap", "*.bmp", "bmp"},
    {"Compuserve Gif", "*.gif", "gif"},
    {"PBMPlus", "*.ppm;*.pgm;*.pbm", "ppm,pgm,pbm"},
    {"Jpeg/JFIF", "*.jpg", "jpg"},
    {"Kodak PhotoCD", "*.pcd", "pcd"},
    {"Aldus TIFF", "*.tif", "tif"},
    {"Truevision Targa", "*.tga", "tga"},
    {"ZSoft Paintbrush", "*.pcx", "pcx"},
    {"Portable Network Graphics", "*.png", "png"},
    {"Amiga IFF", "*.iff", "iff"},
    {"FS Texture", "*.R8;*.txr;*.?af", "R8"},
    {"WebP", "*.webp", "webp"},
    {"AV1 Image File", "*.avif", "avif"},
    {"HEIF/HEIC", "*.heic;*.heif", "heic,heif"},
    {"JPEG XL", "*.jxl", "jxl"},
    {"Camera RAW", "*.dng;*.cr2;*.cr3;*.nef;*.arw;*.orf;*.rw2;*.pef;*.srw", "dng,cr2,cr3,nef,arw,orf,rw2,pef,srw"},
};

TEST(FormatTable, RowsAndTheirTexts)
{
    // The first eleven rows keep their places and texts; the newer formats follow.
    EXPECT_EQ(_Pic_Count(), 16);
    for (int i = 0; i <= 16; ++i) {
        EXPECT_STREQ(_Pic_Description(i), kRows[i].description) << i;
        EXPECT_STREQ(_Pic_Pattern(i), kRows[i].pattern) << i;
        EXPECT_STREQ(_Pic_Extension(i), kRows[i].extension) << i;
        ASSERT_NE(_Pic_Copyright(i), nullptr);
        EXPECT_EQ(std::strlen(_Pic_Copyright(i)) > 0, i > 0) << i;
    }
    EXPECT_STREQ(_Pic_Copyright(1), "ZarnGfx image library (c) 1995-1999 Zarn");
}

TEST(FormatTable, AnyOtherIndexIsOtherImageFile)
{
    for (int i : {17, 100, -1, -1000}) {
        EXPECT_STREQ(_Pic_Description(i), "Other Image File") << i;
        EXPECT_STREQ(_Pic_Pattern(i), "*.*") << i;
        EXPECT_STREQ(_Pic_Extension(i), "") << i;
        EXPECT_STREQ(_Pic_Copyright(i), "") << i;
    }
}

TEST(FormatTable, SaveFilterText)
{
    EXPECT_STREQ(_Pic_GetSaveFormats(),
                 "Windows Bitmap|*.bmp|Jpeg/JFIF 24bit|*.jpg|Jpeg/JFIF Greyscale|*.jpg|TIFF uncompressed|*.tif|"
                 "TIFF lzw|*.tif|TIFF packbits|*.tif|TIFF CCITT Fax3|*.tif|TIFF CCITT Fax4|*.tif|"
                 "Portable Network Graphics (png)|*.png|Compuserve Gif|*.gif|PBMPlus 24bit (ppm)|*.ppm|"
                 "PBMPlus Greyscale (pgm)|*.pgm|PBMPlus Monochrome (pbm)|*.pbm|Amiga IFF|*.iff|"
                 "FS Texture (256x256)|*.r8|WebP|*.webp|WebP lossless|*.webp|AVIF|*.avif|JPEG XL|*.jxl|"
                 "JPEG XL lossless|*.jxl|");
}

TEST(FormatTable, ExtensionsIgnoreCase)
{
    const std::pair<const char*, int> cases[] = {
        {".bmp", 1},
        {".BMP", 1},
        {".Gif", 2},
        {".ppm", 3},
        {".PGM", 3},
        {".pbm", 3},
        {".jpg", 4},
        {".pcd", 5},
        {".tif", 6},
        {".TGA", 7},
        {".pcx", 8},
        {".png", 9},
        {".iff", 10},
        {".r8", 11},
        {".R8", 11},
        {".txr", 11},
        {".Raf", 11},
        {".xaf", 11},
        {".RAF", 11},
        {".xif", 100},
        {".XIF", 100},
        {".webp", 12},
        {".avif", 13},
        {".HEIC", 14},
        {".heif", 14},
        {".jxl", 15},
        {".dng", 16},
        {".NEF", 16},
        {".cr3", 16},
        // no match
        {".af", 0},
        {".rafx", 0},
        {".bmpx", 0},
        {".bm", 0},
        {"bmp", 0},
        {"xRaf", 0},
        {".jpeg", 0},
        {".tiff", 0},
        {".", 0},
        {"", 0},
    };
    for (const auto& [extension, code] : cases) EXPECT_EQ(_Pic_ExtValid(extension), code) << extension;
    EXPECT_EQ(_Pic_ExtValid(nullptr), 0);
}

// Each save type belongs to one format, whose names detect its extension,
// and the types run 1, 2, 3... without a gap, as the save filter lists them.
TEST(FormatTable, EverySaveTypeAgreesWithItsFormat)
{
    std::set<int> types;
    for (const zarn::FormatDescriptor& format : zarn::format_descriptors())
        for (const zarn::SaveKind& kind : format.saves) {
            if (kind.type == 0) continue;
            EXPECT_TRUE(types.insert(kind.type).second) << kind.type;
            EXPECT_EQ(zarn::save_kind(kind.type), &kind) << kind.type;
            EXPECT_EQ(_Pic_ExtValid(kind.extension), format.code) << kind.extension;
            const std::string entry = std::string(kind.name) + "|*" + kind.extension + "|";
            EXPECT_NE(std::strstr(_Pic_GetSaveFormats(), entry.c_str()), nullptr) << entry;
        }
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(*types.begin(), 1);
    EXPECT_EQ(*types.rbegin(), int(types.size()));
    EXPECT_EQ(zarn::save_kind(0), nullptr);
    EXPECT_EQ(zarn::save_kind(int(types.size()) + 1), nullptr);
}

}  // namespace
