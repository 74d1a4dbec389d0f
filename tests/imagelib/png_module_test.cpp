// The PNG module through the library: each colour type into the record's layouts, writing, and the module's life.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <zlib.h>

using namespace zarn::test;

namespace {

// Writes a PNG chunk by chunk; rows are given as the file's raw scanlines
// and stored with filter 0.
class PngBuilder {
public:
    PngBuilder& size(std::uint32_t width, std::uint32_t height)
    {
        width_ = width, height_ = height;
        return *this;
    }
    PngBuilder& type(std::uint8_t colour_type, std::uint8_t depth)
    {
        type_ = colour_type, depth_ = depth;
        return *this;
    }
    PngBuilder& palette(const Bytes& rgb)
    {
        palette_ = rgb;
        return *this;
    }
    PngBuilder& transparency(const Bytes& trns)
    {
        trns_ = trns;
        return *this;
    }
    PngBuilder& rows(const Rows& rows)
    {
        rows_ = rows;
        return *this;
    }

    Bytes bytes() const
    {
        Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        Bytes header;
        be32(header, width_), be32(header, height_);
        header.insert(header.end(), {depth_, type_, 0, 0, 0});
        chunk(out, "IHDR", header);
        if (!palette_.empty()) chunk(out, "PLTE", palette_);
        if (!trns_.empty()) chunk(out, "tRNS", trns_);
        Bytes raw;
        for (const Bytes& row : rows_) {
            raw.push_back(0);
            raw.insert(raw.end(), row.begin(), row.end());
        }
        uLongf packed_size = compressBound(uLong(raw.size()));
        Bytes packed(packed_size);
        compress(packed.data(), &packed_size, raw.data(), uLong(raw.size()));
        packed.resize(packed_size);
        chunk(out, "IDAT", packed);
        chunk(out, "IEND", {});
        return out;
    }
    std::string write(const std::string& name) const
    {
        const std::string path = temp_path(name);
        write_file(path, bytes());
        return path;
    }

private:
    static void be32(Bytes& out, std::uint32_t v)
    {
        out.insert(out.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
    }
    static void chunk(Bytes& out, const char* name, const Bytes& data)
    {
        be32(out, std::uint32_t(data.size()));
        const std::size_t start = out.size();
        out.insert(out.end(), name, name + 4);
        out.insert(out.end(), data.begin(), data.end());
        be32(out, std::uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
    }

    std::uint32_t width_ = 1, height_ = 1;
    std::uint8_t type_ = 0, depth_ = 8;
    Bytes palette_, trns_;
    Rows rows_;
};

std::uint8_t onto_white(int value, int alpha)
{
    return std::uint8_t((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

int read(const std::string& path, ScopedPic& pic)
{
    return _Pic_Read(path.c_str(), pic.get(), 0, 0);
}

TEST(PngRead, PaletteImagesKeepIndexesAndEntries)
{
    const Bytes colours{255, 0, 0, 0, 255, 0, 0, 0, 255};
    ScopedPic pic;
    ASSERT_EQ(
        read(PngBuilder().size(3, 2).type(3, 8).palette(colours).rows({{0, 1, 2}, {2, 1, 0}}).write("p8.png"), pic), 1);
    EXPECT_EQ(pic->bits, 8);
    EXPECT_EQ(pic->colours, 3);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 9), colours);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0, 1, 2}, {2, 1, 0}}));
    EXPECT_STREQ(pic->description, "PNG : 3x2 - 3 Colours");

    // Four bits a pixel unpack to one byte each; an index past the palette
    // (a damaged file) becomes entry 0.
    ScopedPic packed;
    ASSERT_EQ(read(PngBuilder().size(3, 1).type(3, 4).palette(colours).rows({{0x12, 0xF0}}).write("p4.png"), packed),
              1);
    EXPECT_EQ(packed->bits, 4);
    EXPECT_EQ(pixel_rows(*packed), (Rows{{1, 2, 0}}));
}

TEST(PngRead, OneBitGreyIsPackedAndWider)
{
    ScopedPic pic;
    ASSERT_EQ(read(PngBuilder().size(10, 2).type(0, 1).rows({{0xA5, 0xC0}, {0x0F, 0x40}}).write("g1.png"), pic), 1);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pic->colours, 2);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 6), (Bytes{0, 0, 0, 255, 255, 255}));
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0xA5, 0xC0}, {0x0F, 0x40}}));

    ScopedPic grey4;
    ASSERT_EQ(read(PngBuilder().size(2, 1).type(0, 4).rows({{0x3F}}).write("g4.png"), grey4), 1);
    EXPECT_EQ(grey4->bits, 8);
    EXPECT_EQ(grey4->colours, 256);
    EXPECT_EQ(pixel_rows(*grey4), (Rows{{3 * 17, 255}}));
}

TEST(PngRead, SixteenBitSamplesScaleToEight)
{
    const Rows rows{{0x00, 0x00, 0xFF, 0xFF, 0x80, 0x80, 0x12, 0x34, 0x7F, 0xFF, 0x00, 0x81}};
    ScopedPic pic;
    ASSERT_EQ(read(PngBuilder().size(2, 1).type(2, 16).rows(rows).write("rgb16.png"), pic), 1);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_STREQ(pic->description, "PNG : 2x1 - 24bit");
    Bytes expected;
    for (std::size_t i = 0; i < 12; i += 2) {
        const unsigned v = unsigned(rows[0][i]) << 8 | rows[0][i + 1];
        expected.push_back(std::uint8_t((v * 255 + 32767) / 65535));
    }
    EXPECT_EQ(pixel_rows(*pic)[0], expected);
}

TEST(PngRead, AlphaIsCompositedOntoWhite)
{
    ScopedPic rgba;
    ASSERT_EQ(read(PngBuilder()
                       .size(3, 1)
                       .type(6, 8)
                       .rows({{200, 100, 0, 0, 200, 100, 0, 255, 200, 100, 0, 128}})
                       .write("rgba.png"),
                   rgba),
              1);
    EXPECT_EQ(rgba->bits, 24);
    EXPECT_EQ(pixel_rows(*rgba)[0],
              (Bytes{255, 255, 255, 200, 100, 0, onto_white(200, 128), onto_white(100, 128), onto_white(0, 128)}));

    ScopedPic grey_alpha;
    ASSERT_EQ(read(PngBuilder().size(2, 1).type(4, 8).rows({{10, 255, 10, 64}}).write("ga.png"), grey_alpha), 1);
    EXPECT_EQ(grey_alpha->bits, 8);
    EXPECT_EQ(pixel_rows(*grey_alpha)[0], (Bytes{10, onto_white(10, 64)}));

    // A palette's transparency goes into its entries; the indexes stay.
    ScopedPic palette;
    ASSERT_EQ(read(PngBuilder()
                       .size(2, 1)
                       .type(3, 8)
                       .palette({0, 0, 0, 40, 80, 120})
                       .transparency({0})
                       .rows({{0, 1}})
                       .write("ptrns.png"),
                   palette),
              1);
    EXPECT_EQ(palette->bits, 8);
    EXPECT_EQ(pixel_rows(*palette)[0], (Bytes{0, 1}));
    EXPECT_EQ(Bytes(palette->palette, palette->palette + 6), (Bytes{255, 255, 255, 40, 80, 120}));
}

TEST(PngRead, DamagedFilesFailCleanly)
{
    const Bytes good = PngBuilder().size(4, 4).type(0, 8).rows(Rows(4, Bytes(4, 9))).bytes();
    Bytes bad_crc = good;
    bad_crc[bad_crc.size() - 20] ^= 0x55;  // inside IDAT
    Bytes huge = PngBuilder().size(60000, 60000).type(6, 16).rows(Rows(1, Bytes(8, 0))).bytes();
    for (const Bytes& file : {Bytes(good.begin(), good.begin() + 50), bad_crc, huge, Bytes{0x89, 'P', 'N', 'G'}}) {
        const std::string path = temp_path("bad.png");
        write_file(path, file);
        ScopedPic pic;
        EXPECT_EQ(read(path, pic), 0);
        EXPECT_EQ(pic->pixels, nullptr);
        EXPECT_EQ(pic->in_file, nullptr);
    }
}

TEST(PngModule, ReadKeepsItsModuleUntilRelease)
{
    const std::string path = PngBuilder().size(1, 1).type(0, 8).rows({{7}}).write("one.png");
    ScopedPic pic;
    ASSERT_EQ(read(path, pic), 1);
    void* const module = pic->png_module;
    EXPECT_NE(module, nullptr);
    ASSERT_EQ(read(path, pic), 1);
    EXPECT_EQ(pic->png_module, module) << "the loaded module is reused";
    zarn::release_image(pic.get());
    EXPECT_EQ(pic->png_module, nullptr);
    EXPECT_EQ(pic->pixels, nullptr);

    write_file(path, Bytes{1, 2, 3});
    EXPECT_EQ(zarn::read_png(path.c_str(), pic.get()), 0);
    EXPECT_NE(pic->png_module, nullptr) << "kept after a failed read too";
}

TEST(PngWrite, EachKindRoundTrips)
{
    struct Case {
        int width, bits;
        Rows rows;
        Bytes palette;
    };
    const Bytes five{0, 0, 0, 10, 20, 30, 200, 100, 50, 1, 2, 3, 255, 255, 255};
    for (const Case& c : {Case{9, 1, mono_pattern(9, 3), grey_ramp(2)},
                          Case{9, 1, mono_pattern(9, 3), {250, 0, 0, 0, 0, 90}}, Case{7, 8, ramp(7, 3, 5), five},
                          Case{7, 8, ramp(7, 3, 256), grey_ramp(256)}, Case{7, 24, rgb_ramp(7, 3), {}}}) {
        ScopedPic pic;
        pic.set(c.width, 3, c.bits, c.rows, c.palette);
        char path[512];
        std::snprintf(path, sizeof path, "%s", temp_path("out.bmp").c_str());
        ASSERT_EQ(_Pic_Write(path, pic.get(), 9, 0), 1) << c.bits;
        EXPECT_EQ(pic->png_module, nullptr) << "a write frees its module";
        ScopedPic back;
        ASSERT_EQ(read(path, back), 1);
        EXPECT_EQ(back->bits, c.bits == 8 && c.palette.size() == 15 ? 4 : c.bits) << "five colours pack to 4 bits";
        EXPECT_EQ(rgb_rows(*back), rgb_rows(*pic)) << c.bits;
    }
}

// Pictures large enough for the writer to sample its deflate strategy:
// grain, where coding bytes alone wins, and flat areas, where runs do.
TEST(PngWrite, SampledStrategiesKeepThePixels)
{
    std::uint32_t seed = 7;
    Rows grain(64, Bytes(3 * 400)), flat(64, Bytes(3 * 400, 200));
    for (Bytes& row : grain)
        for (std::uint8_t& byte : row) byte = std::uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    for (std::size_t y = 20; y < 40; ++y) std::fill(flat[y].begin() + 300, flat[y].begin() + 900, 10);
    for (const Rows& rows : {grain, flat}) {
        ScopedPic pic;
        pic.set(400, 64, 24, rows, {});
        const std::string path = temp_path("sampled.png");
        ASSERT_EQ(zarn::write_png(path.c_str(), pic.get()), 1);
        ScopedPic back;
        ASSERT_EQ(read(path, back), 1);
        EXPECT_EQ(rgb_rows(*back), rgb_rows(*pic));
    }
}

TEST(PngWrite, IndexesPastTheColourCountGetEntries)
{
    ScopedPic pic;
    pic.set(3, 1, 8, {{0, 1, 6}}, {9, 9, 9, 8, 8, 8});
    pic->palette[18] = 70;
    const std::string path = temp_path("wide.png");
    ASSERT_EQ(zarn::write_png(path.c_str(), pic.get()), 1);
    ScopedPic back;
    ASSERT_EQ(read(path, back), 1);
    EXPECT_EQ(back->colours, 7);
    EXPECT_EQ(pixel_rows(*back), (Rows{{0, 1, 6}}));
    EXPECT_EQ(back->palette[18], 70);
}

// The module writes to a temporary the library names; a refused write
// leaves the old file and no temporary behind.
TEST(PngWrite, RefusedWriteKeepsTheOldFile)
{
    const std::string path = temp_path("keep.png");
    write_file(path, Bytes{4, 5, 6});
    ScopedPic pic;
    pic.set(2, 2, 24, rgb_ramp(2, 2));
    std::free(pic->pixels);
    pic->pixels = nullptr;
    EXPECT_EQ(zarn::write_png(path.c_str(), pic.get()), 0);
    EXPECT_EQ(read_file(path), (Bytes{4, 5, 6}));
    EXPECT_EQ(folder_entries(std::filesystem::path(path).parent_path().string()).size(), 4u)
        << "keep.png beside tmp, config and data only";
}

}  // namespace
