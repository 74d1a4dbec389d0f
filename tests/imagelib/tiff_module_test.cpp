// The TIFF module through the library: strips and tiles into the record's layouts, the RGBA fallback, writing.
#include "codecs.h"
#include "test_support.h"
#include "zarntiff.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

using namespace zarn::test;

namespace {

// Writes an uncompressed little-endian TIFF, one strip per row, or tiles
// cut from the same rows. Rows are the file's raw scanlines.
class TiffBuilder {
public:
    TiffBuilder& size(std::uint32_t width, std::uint32_t height)
    {
        width_ = width, height_ = height;
        return *this;
    }
    TiffBuilder& samples(std::uint16_t bits, std::uint16_t count)
    {
        bits_ = bits, samples_ = count;
        return *this;
    }
    TiffBuilder& tag(std::uint16_t id, std::vector<std::uint32_t> values, std::uint16_t type = 3)
    {
        tags_[id] = {type, std::move(values)};
        return *this;
    }
    TiffBuilder& tiles(std::uint32_t width, std::uint32_t height)
    {
        tile_width_ = width, tile_height_ = height;
        return *this;
    }
    TiffBuilder& rows(const Rows& rows)
    {
        rows_ = rows;
        return *this;
    }

    std::string write(const std::string& name)
    {
        Bytes out{'I', 'I', 42, 0, 0, 0, 0, 0};
        std::vector<std::uint32_t> offsets, counts;
        auto add_block = [&](const Bytes& block) {
            offsets.push_back(std::uint32_t(out.size()));
            counts.push_back(std::uint32_t(block.size()));
            out.insert(out.end(), block.begin(), block.end());
        };
        if (tile_width_) {
            // Tile rows are padded to whole bytes; a tile's first pixel need
            // not start on one in the image's rows.
            const std::size_t tile_bits = std::size_t(tile_width_) * samples_ * bits_;
            const std::size_t tile_row = (tile_bits + 7) / 8;
            for (std::uint32_t ty = 0; ty < height_; ty += tile_height_)
                for (std::size_t tx = 0; tx * tile_width_ < width_; ++tx) {
                    Bytes tile(tile_row * tile_height_, 0);
                    for (std::uint32_t r = 0; r < tile_height_ && ty + r < height_; ++r) {
                        const Bytes& row = rows_[ty + r];
                        for (std::size_t b = 0; b < tile_bits && (tx * tile_bits + b) / 8 < row.size(); ++b)
                            if (row[(tx * tile_bits + b) / 8] & 0x80 >> (tx * tile_bits + b) % 8)
                                tile[r * tile_row + b / 8] |= std::uint8_t(0x80 >> b % 8);
                    }
                    add_block(tile);
                }
            tag(322, {tile_width_}, 4).tag(323, {tile_height_}, 4).tag(324, offsets, 4).tag(325, counts, 4);
        } else {
            for (const Bytes& row : rows_) add_block(row);
            tag(273, offsets, 4).tag(278, {1}, 4).tag(279, counts, 4);
        }
        tag(256, {width_}, 4).tag(257, {height_}, 4).tag(258, std::vector<std::uint32_t>(samples_, bits_));
        tag(277, {samples_});
        if (!tags_.count(259)) tag(259, {1});

        // Arrays that do not fit in an entry go before the directory.
        std::map<std::uint16_t, std::uint32_t> outside;
        for (const auto& [id, entry] : tags_) {
            const std::size_t size = entry.second.size() * (entry.first == 3 ? 2 : 4);
            if (size <= 4) continue;
            outside[id] = std::uint32_t(out.size());
            for (std::uint32_t v : entry.second) put(out, v, entry.first == 3 ? 2 : 4);
        }
        if (out.size() % 2) out.push_back(0);
        put_u32(out, 4, std::uint32_t(out.size()));
        put(out, std::uint32_t(tags_.size()), 2);
        for (const auto& [id, entry] : tags_) {
            put(out, id, 2);
            put(out, entry.first, 2);
            put(out, std::uint32_t(entry.second.size()), 4);
            if (outside.count(id)) {
                put(out, outside[id], 4);
                continue;
            }
            Bytes value;
            for (std::uint32_t v : entry.second) put(value, v, entry.first == 3 ? 2 : 4);
            value.resize(4, 0);
            out.insert(out.end(), value.begin(), value.end());
        }
        put(out, 0, 4);
        const std::string path = temp_path(name);
        write_file(path, out);
        return path;
    }

private:
    static void put(Bytes& out, std::uint32_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
    }

    std::uint32_t width_ = 1, height_ = 1, tile_width_ = 0, tile_height_ = 0;
    std::uint16_t bits_ = 8, samples_ = 1;
    std::map<std::uint16_t, std::pair<std::uint16_t, std::vector<std::uint32_t>>> tags_;
    Rows rows_;
};

constexpr std::uint16_t kPhotometric = 262, kColourMap = 320, kExtraSamples = 338, kOrientation = 274;

int read(const std::string& path, ScopedPic& pic)
{
    return _Pic_Read(path.c_str(), pic.get(), 0, 0);
}

TEST(TiffRead, BilevelAndPaletteKeepTheirLayout)
{
    ScopedPic white;
    ASSERT_EQ(read(TiffBuilder()
                       .size(10, 2)
                       .samples(1, 1)
                       .tag(kPhotometric, {0})
                       .rows({{0xA5, 0xC0}, {0x0F, 0x40}})
                       .write("bw.tif"),
                   white),
              1);
    EXPECT_EQ(white->bits, 1);
    EXPECT_EQ(Bytes(white->palette, white->palette + 6), (Bytes{255, 255, 255, 0, 0, 0})) << "min-is-white";
    EXPECT_EQ(pixel_rows(*white), (Rows{{0xA5, 0xC0}, {0x0F, 0x40}}));
    EXPECT_STREQ(white->description, "TIFF : 10x2 - 2 Colours");

    std::vector<std::uint32_t> map(48, 0);
    for (std::uint32_t i = 0; i < 16; ++i) map[i] = i * 4096, map[16 + i] = 65535 - i * 4096, map[32 + i] = 257 * 9;
    ScopedPic palette;
    ASSERT_EQ(read(TiffBuilder()
                       .size(3, 1)
                       .samples(4, 1)
                       .tag(kPhotometric, {3})
                       .tag(kColourMap, map)
                       .rows({{0x1F, 0x70}})
                       .write("p4.tif"),
                   palette),
              1);
    EXPECT_EQ(palette->bits, 4);
    EXPECT_EQ(palette->colours, 16);
    EXPECT_EQ(pixel_rows(*palette), (Rows{{1, 15, 7}}));
    EXPECT_EQ(Bytes(palette->palette + 3, palette->palette + 6), (Bytes{16, 239, 9}));
}

TEST(TiffRead, GreyAndSixteenBitSamples)
{
    ScopedPic grey;
    ASSERT_EQ(
        read(TiffBuilder().size(3, 1).samples(8, 1).tag(kPhotometric, {1}).rows({{0, 99, 255}}).write("g8.tif"), grey),
        1);
    EXPECT_EQ(grey->bits, 8);
    EXPECT_EQ(grey->colours, 256);
    EXPECT_EQ(pixel_rows(*grey), (Rows{{0, 99, 255}}));

    ScopedPic wide;
    ASSERT_EQ(read(TiffBuilder()
                       .size(3, 1)
                       .samples(16, 1)
                       .tag(kPhotometric, {1})
                       .rows({{0, 0, 0x80, 0x80, 0xFF, 0xFF}})
                       .write("g16.tif"),
                   wide),
              1);
    EXPECT_EQ(wide->bits, 8);
    EXPECT_EQ(pixel_rows(*wide), (Rows{{0, 128, 255}}));
}

TEST(TiffRead, AlphaIsCompositedOntoWhite)
{
    const Rows rows{{200, 100, 0, 0, 200, 100, 0, 255, 100, 50, 0, 128}};
    ScopedPic unassociated;
    ASSERT_EQ(read(TiffBuilder()
                       .size(3, 1)
                       .samples(8, 4)
                       .tag(kPhotometric, {2})
                       .tag(kExtraSamples, {2})
                       .rows(rows)
                       .write("rgba.tif"),
                   unassociated),
              1);
    EXPECT_EQ(unassociated->bits, 24);
    const auto blend = [](int v, int a) { return std::uint8_t((v * a + 255 * (255 - a) + 127) / 255); };
    EXPECT_EQ(pixel_rows(*unassociated)[0],
              (Bytes{255, 255, 255, 200, 100, 0, blend(100, 128), blend(50, 128), blend(0, 128)}));

    ScopedPic associated;
    ASSERT_EQ(read(TiffBuilder()
                       .size(3, 1)
                       .samples(8, 4)
                       .tag(kPhotometric, {2})
                       .tag(kExtraSamples, {1})
                       .rows(rows)
                       .write("prgba.tif"),
                   associated),
              1);
    EXPECT_EQ(pixel_rows(*associated)[0], (Bytes{255, 255, 255, 200, 100, 0, 227, 177, 127}));
}

TEST(TiffRead, TilesWithPartTilesAtTheEdges)
{
    const Rows rows = rgb_ramp(20, 19);
    ScopedPic pic;
    ASSERT_EQ(
        read(
            TiffBuilder().size(20, 19).samples(8, 3).tag(kPhotometric, {2}).tiles(16, 16).rows(rows).write("tiles.tif"),
            pic),
        1);
    EXPECT_EQ(pixel_rows(*pic), rows);
}

// Tiles 12 pixels of 1 bit wide: the second starts inside a byte, so the
// rows go through the RGBA reader, which gives what tiff2rgba gives.
TEST(TiffRead, TilesOffByteBoundariesGoThroughTheRgbaReader)
{
    const Rows rows{{0xA5, 0x3C, 0xF0}, {0x0F, 0xFF, 0x10}, {0x81, 0x42, 0x20}};
    const std::string path =
        TiffBuilder().size(24, 3).samples(1, 1).tag(kPhotometric, {1}).tiles(12, 2).rows(rows).write("odd_tiles.tif");
    ScopedPic pic;
    ASSERT_EQ(read(path, pic), 1);
    EXPECT_EQ(pic->bits, 24);
    Rows expected;
    for (const Bytes& row : rows) {
        Bytes rgb;
        for (int x = 0; x < 24; ++x) rgb.insert(rgb.end(), 3, (row[std::size_t(x / 8)] & 0x80 >> x % 8) ? 255 : 0);
        expected.push_back(rgb);
    }
    EXPECT_EQ(pixel_rows(*pic), expected);
    if (!have_program("tiff2rgba") || !have_image_magick()) return;
    const std::string rgba = temp_path("rgba.tif");
    ASSERT_EQ(run_tool({"tiff2rgba", "-n", path, rgba}).status, 0);
    const auto theirs = decode({"convert", rgba, "-depth", "8", "ppm:-"});
    ASSERT_TRUE(theirs);
    EXPECT_EQ(theirs->rgb, expected);
}

TEST(TiffRead, FallbackCoversOtherColourSpacesAndOrientations)
{
    ScopedPic cmyk;
    ASSERT_EQ(read(TiffBuilder()
                       .size(2, 1)
                       .samples(8, 4)
                       .tag(kPhotometric, {5})
                       .rows({{255, 0, 0, 0, 0, 0, 0, 255}})
                       .write("cmyk.tif"),
                   cmyk),
              1);
    EXPECT_EQ(cmyk->bits, 24);
    EXPECT_EQ(pixel_rows(*cmyk)[0], (Bytes{0, 255, 255, 0, 0, 0}));

    ScopedPic flipped;
    ASSERT_EQ(read(TiffBuilder()
                       .size(2, 2)
                       .samples(8, 3)
                       .tag(kPhotometric, {2})
                       .tag(kOrientation, {4})
                       .rows(rgb_ramp(2, 2))
                       .write("bottom_up.tif"),
                   flipped),
              1);
    EXPECT_EQ(pixel_rows(*flipped), (Rows{rgb_ramp(2, 2)[1], rgb_ramp(2, 2)[0]}));
}

TEST(TiffRead, DamagedFilesFailCleanly)
{
    Bytes truncated = read_file(
        TiffBuilder().size(64, 64).samples(8, 3).tag(kPhotometric, {2}).rows(rgb_ramp(64, 64)).write("whole.tif"));
    truncated.resize(truncated.size() / 3);
    const std::string cut = temp_path("cut.tif");
    write_file(cut, truncated);
    const std::string huge =
        TiffBuilder().size(1000000, 1000000).samples(8, 3).tag(kPhotometric, {2}).rows({{1, 2, 3}}).write("huge.tif");
    const std::string junk = temp_path("junk.tif");
    write_file(junk, Bytes{'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F});
    for (const std::string& path : {cut, huge, junk, temp_path("missing.tif")}) {
        ScopedPic pic;
        pic->bits = 4, pic->colours = 16, pic->palette[0] = 77;  // an earlier image's
        EXPECT_EQ(read(path, pic), 0) << path;
        EXPECT_EQ(pic->bits, 4) << path;
        EXPECT_EQ(pic->colours, 16) << path;
        EXPECT_EQ(pic->palette[0], 77) << path;
        EXPECT_EQ(pic->pixels, nullptr);
        EXPECT_EQ(pic->in_file, nullptr);
        EXPECT_NE(pic->tiff_module, nullptr) << "kept for release_image even after a failure";
    }
}

TEST(TiffWrite, EveryCompressionRoundTrips)
{
    struct Case {
        int bits, compression;
        Rows rows;
        Bytes palette;
    };
    const Bytes colours{250, 0, 0, 0, 0, 90};
    std::vector<Case> cases;
    for (int compression = 0; compression <= 4; ++compression) {
        cases.push_back({1, compression, mono_pattern(13, 5), grey_ramp(2)});
        cases.push_back({1, compression, mono_pattern(13, 5), {255, 255, 255, 0, 0, 0}});
    }
    for (int compression = 0; compression <= 2; ++compression) {
        cases.push_back({1, compression, mono_pattern(13, 5), colours});
        cases.push_back({8, compression, ramp(13, 5, 200), grey_ramp(200)});
        cases.push_back({24, compression, rgb_ramp(13, 5), {}});
    }
    for (const Case& c : cases) {
        ScopedPic pic;
        pic.set(13, 5, c.bits, c.rows, c.palette);
        char path[512];
        std::snprintf(path, sizeof path, "%s", temp_path("out").c_str());
        ASSERT_EQ(_Pic_Write(path, pic.get(), 4 + c.compression, 0), 1) << c.bits << " " << c.compression;
        EXPECT_EQ(pic->tiff_module, nullptr);
        ScopedPic back;
        ASSERT_EQ(read(path, back), 1);
        EXPECT_EQ(back->bits, c.bits);
        EXPECT_EQ(rgb_rows(*back), rgb_rows(*pic)) << c.bits << " " << c.compression;
    }
}

TEST(TiffWrite, FaxTakesTheDarkerColourForBlack)
{
    ScopedPic pic;
    pic.set(13, 5, 1, mono_pattern(13, 5), {240, 240, 100, 20, 0, 60});
    const std::string path = temp_path("fax.tif");
    ASSERT_EQ(zarn::write_tiff(path.c_str(), pic.get(), 4), 1);
    ScopedPic back;
    ASSERT_EQ(read(path, back), 1);
    EXPECT_EQ(Bytes(back->palette, back->palette + 6), (Bytes{255, 255, 255, 0, 0, 0}));
    EXPECT_EQ(pixel_rows(*back), pixel_rows(*pic));
}

TEST(TiffWrite, RefusalsKeepTheOldFile)
{
    const std::string path = temp_path("keep.tif");
    write_file(path, Bytes{7, 8, 9});
    ScopedPic pic;
    pic.set(4, 4, 24, rgb_ramp(4, 4));
    for (int compression : {3, 4, 5, -1}) EXPECT_EQ(zarn::write_tiff(path.c_str(), pic.get(), compression), 0);
    EXPECT_EQ(read_file(path), (Bytes{7, 8, 9}));
    EXPECT_EQ(folder_entries(std::filesystem::path(path).parent_path().string()).size(), 4u);
}

}  // namespace

namespace {

// A new 8-bit RGB file of LZW strips.
TIFF* open_lzw_rgb(const std::string& path, std::uint32_t width, std::uint32_t height, std::uint32_t rows_per_strip)
{
    TIFF* out = TIFFOpen(path.c_str(), "w");
    if (!out) return nullptr;
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
    return out;
}

// A strip of LZW codes libtiff decodes from a file holding only it.
std::optional<Bytes> libtiff_decode(const Bytes& raw, std::uint32_t width, std::uint32_t rows)
{
    const std::string path = temp_path("one-strip.tif");
    TIFF* out = open_lzw_rgb(path, width, rows, rows);
    if (!out) return std::nullopt;
    TIFFWriteRawStrip(out, 0, const_cast<std::uint8_t*>(raw.data()), tmsize_t(raw.size()));
    TIFFClose(out);
    TIFF* in = TIFFOpen(path.c_str(), "r");
    Bytes strip(std::size_t(width) * 3 * rows);
    const bool read = in && TIFFReadEncodedStrip(in, 0, strip.data(), tmsize_t(strip.size())) == tmsize_t(strip.size());
    if (in) TIFFClose(in);
    if (!read) return std::nullopt;
    return strip;
}

// Our decoder of LZW strips against libtiff's: whatever it decodes whole,
// from libtiff's own strips (smooth runs, noise, the table filling and
// starting again, a short last strip) or from damaged ones, libtiff decodes
// to the same bytes. What it refuses is libtiff's to decode.
TEST(TiffLzw, DecodesEveryStripItTakesAsLibtiffDoes)
{
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    constexpr std::uint32_t kWidth = 300, kHeight = 70, kRowsPerStrip = 16;
    const std::string path = temp_path("lzw.tif");
    {
        TIFF* out = open_lzw_rgb(path, kWidth, kHeight, kRowsPerStrip);
        ASSERT_NE(out, nullptr);
        std::uint32_t noise = 12345;
        Bytes row(kWidth * 3);
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                noise = noise * 1103515245u + 12345u;
                row[i] = y % 3 == 0 ? std::uint8_t(i / 7) : y % 3 == 1 ? std::uint8_t(noise >> 24) : std::uint8_t(y);
            }
            ASSERT_EQ(TIFFWriteScanline(out, row.data(), y, 0), 1);
        }
        TIFFClose(out);
    }
    TIFF* in = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(in, nullptr);
    std::uint32_t state = 99;
    int compared = 0, refused = 0;
    for (tstrip_t strip = 0; strip < TIFFNumberOfStrips(in); ++strip) {
        const std::uint32_t rows = std::min(kRowsPerStrip, kHeight - strip * kRowsPerStrip);
        Bytes raw(std::size_t(TIFFRawStripSize64(in, strip)));
        ASSERT_EQ(TIFFReadRawStrip(in, strip, raw.data(), tmsize_t(raw.size())), tmsize_t(raw.size()));
        Bytes expected(std::size_t(kWidth) * 3 * rows), ours(expected.size());
        ASSERT_EQ(TIFFReadEncodedStrip(in, strip, expected.data(), tmsize_t(expected.size())),
                  tmsize_t(expected.size()));
        ASSERT_TRUE(zarn::tiff::decode_lzw_strip(raw, ours)) << "strip " << strip;
        EXPECT_EQ(ours, expected) << "strip " << strip;

        for (int damage = 0; damage < 40; ++damage) {
            Bytes bad = raw;
            state = state * 1664525u + 1013904223u;
            const std::size_t at = state % bad.size();
            if (damage % 4 == 0) bad.resize(at);
            else bad[at] = std::uint8_t(bad[at] ^ (1u << (state >> 29)));
            Bytes decoded(expected.size());
            if (!zarn::tiff::decode_lzw_strip(bad, decoded)) {
                ++refused;
                continue;
            }
            ++compared;
            const std::optional<Bytes> reference = libtiff_decode(bad, kWidth, rows);
            ASSERT_TRUE(reference) << "strip " << strip << ", damage " << damage;
            EXPECT_EQ(decoded, *reference) << "strip " << strip << ", damage " << damage;
        }
    }
    TIFFClose(in);
    EXPECT_GT(compared, 20);
    EXPECT_GT(refused, 20);
}

}  // namespace
