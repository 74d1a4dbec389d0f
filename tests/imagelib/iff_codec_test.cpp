// Amiga IFF: ByteRun1, ILBM and PBM reading, masks, 24 planes, hold-and-modify, and the ILBM writer.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zarn::test;
using zarn::read_iff;
using zarn::write_iff;

namespace {

void put_be16(Bytes& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}
void put_be32(Bytes& out, std::uint32_t v)
{
    put_be16(out, v >> 16);
    put_be16(out, v & 0xFFFF);
}
void chunk(Bytes& out, const char* id, const Bytes& data)
{
    out.insert(out.end(), id, id + 4);
    put_be32(out, std::uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2) out.push_back(0);
}
Bytes bmhd(int width, int height, int planes, int masking = 0, int compression = 0)
{
    Bytes d;
    put_be16(d, std::uint32_t(width));
    put_be16(d, std::uint32_t(height));
    put_be32(d, 0);
    d.insert(d.end(), {std::uint8_t(planes), std::uint8_t(masking), std::uint8_t(compression), 0, 0, 0, 10, 11});
    put_be16(d, std::uint32_t(width));
    put_be16(d, std::uint32_t(height));
    return d;
}
Bytes form(const char* type, const Bytes& chunks)
{
    Bytes out{'F', 'O', 'R', 'M'};
    put_be32(out, std::uint32_t(chunks.size() + 4));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}
// Plane rows of one row of indices, each padded to 16 pixels.
Bytes plane_rows(const Bytes& indices, int planes)
{
    const std::size_t plane_row = (indices.size() + 15) / 16 * 2;
    Bytes out;
    for (int p = 0; p < planes; ++p) {
        Bytes row(plane_row, 0);
        for (std::size_t x = 0; x < indices.size(); ++x)
            if (indices[x] >> p & 1) row[x / 8] = std::uint8_t(row[x / 8] | 0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

int read_bytes(const Bytes& file, ScopedPic& pic)
{
    return zarn::test::read_bytes(file, pic, "in.iff", read_iff);
}

TEST(ByteRun1, ControlCodes)
{
    const Bytes source{0x80, 0xFE, 7, 0x01, 4, 5};
    Bytes out(5);
    std::size_t at = 0;
    ASSERT_TRUE(zarn::unpack_byterun1(source, at, out));
    EXPECT_EQ(out, (Bytes{7, 7, 7, 4, 5}));
    EXPECT_EQ(at, source.size());
    Bytes small(2);
    at = 0;
    EXPECT_FALSE(zarn::unpack_byterun1(Bytes{0xFE, 7}, at, small));  // a run past the row
    at = 0;
    EXPECT_FALSE(zarn::unpack_byterun1(Bytes{0x05, 1, 2}, at, small));  // a copy past the source
    at = 0;
    EXPECT_FALSE(zarn::unpack_byterun1(Bytes{0x80}, at, small));  // source ends first
}

TEST(IffRead, FivePlanesBecomeEightBitsWithMaskSkipped)
{
    const Bytes row0{0, 1, 31, 17, 8}, row1{30, 2, 4, 16, 3};
    Bytes body;
    for (const Bytes& row : {row0, row1}) {
        const Bytes planes = plane_rows(row, 5);
        body.insert(body.end(), planes.begin(), planes.end());
        body.insert(body.end(), {0xFF, 0xFF});  // the mask plane
    }
    Bytes chunks, cmap;
    for (int i = 0; i < 32 * 3; ++i) cmap.push_back(std::uint8_t(i));
    chunk(chunks, "BMHD", bmhd(5, 2, 5, 1));
    chunk(chunks, "ANNO", {'h', 'i', '!'});
    chunk(chunks, "CMAP", cmap);
    chunk(chunks, "BODY", body);
    ScopedPic pic;
    ASSERT_EQ(read_bytes(form("ILBM", chunks), pic), 1);
    EXPECT_EQ(pic->bits, 8);
    EXPECT_EQ(pic->colours, 256);
    EXPECT_EQ(pixel_rows(*pic), (Rows{row0, row1}));
    EXPECT_EQ(pic->palette[95], 95);
    EXPECT_EQ(pic->palette[96], 0);
    EXPECT_STREQ(pic->description, "IFF : 5x2 - 5 Planes");
}

// Extra-half-brite: indexes 32 to 63 are the colours of 0 to 31 at half
// their brightness, as ilbmtoppm shows them.
TEST(IffRead, ExtraHalfBriteDoublesThePalette)
{
    Bytes row;
    for (int i = 0; i < 64; ++i) row.push_back(std::uint8_t(i * 37 % 64));
    Bytes chunks, cmap, camg;
    for (int i = 0; i < 32 * 3; ++i) cmap.push_back(std::uint8_t(255 - i * 5));
    put_be32(camg, 0x80);
    chunk(chunks, "BMHD", bmhd(64, 1, 6));
    chunk(chunks, "CAMG", camg);
    chunk(chunks, "CMAP", cmap);
    chunk(chunks, "BODY", plane_rows(row, 6));
    const std::string path = temp_path("ehb.iff");
    write_file(path, form("ILBM", chunks));
    ScopedPic pic;
    ASSERT_EQ(read_iff(path.c_str(), pic.get()), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{row}));
    EXPECT_EQ(Bytes(pic->palette + 3 * 33, pic->palette + 3 * 34), (Bytes{120, 117, 115}));
    if (!have_program("ilbmtoppm")) return;
    const auto expected = decode_shell("ilbmtoppm " + path + " 2>/dev/null");
    ASSERT_TRUE(expected);
    EXPECT_EQ(rgb_rows(*pic), expected->rgb);
}

TEST(IffRead, CompressedPlanesOnePlaneAndGreyDefault)
{
    // 20 pixels: plane rows of 4 bytes, each packed as a run and a copy.
    Bytes chunks;
    chunk(chunks, "BMHD", bmhd(20, 1, 1, 0, 1));
    chunk(chunks, "BODY", {0xFF, 0xA5, 0x01, 0xF0, 0x0F});
    ScopedPic pic;
    ASSERT_EQ(read_bytes(form("ILBM", chunks), pic), 1);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pic->colours, 2);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0xA5, 0xA5, 0xF0}}));
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 6), (Bytes{0, 0, 0, 255, 255, 255}));
}

TEST(IffRead, TwentyFourPlanesAndChunkyPbm)
{
    const Bytes red{10, 200, 3}, green{20, 100, 5}, blue{30, 0, 255};
    Bytes body = plane_rows(red, 8);
    for (const Bytes& c : {green, blue}) {
        const Bytes planes = plane_rows(c, 8);
        body.insert(body.end(), planes.begin(), planes.end());
    }
    Bytes chunks;
    chunk(chunks, "BMHD", bmhd(3, 1, 24));
    chunk(chunks, "BODY", body);
    ScopedPic deep;
    ASSERT_EQ(read_bytes(form("ILBM", chunks), deep), 1);
    EXPECT_EQ(deep->bits, 24);
    EXPECT_EQ(pixel_rows(*deep), (Rows{{10, 20, 30, 200, 100, 0, 3, 5, 255}}));
    EXPECT_STREQ(deep->description, "IFF : 3x1 - 24 Planes");

    Bytes pbm_chunks;
    chunk(pbm_chunks, "BMHD", bmhd(3, 2, 8, 0, 1));
    chunk(pbm_chunks, "BODY", {0x02, 9, 8, 7, 0xFE, 6});
    ScopedPic chunky;
    ASSERT_EQ(read_bytes(form("PBM ", pbm_chunks), chunky), 1);
    EXPECT_EQ(pixel_rows(*chunky), (Rows{{9, 8, 7}, {6, 6, 6}}));
}

TEST(IffRead, HoldAndModifyUsesTheTopTwoPlanes)
{
    // Six planes: code in bits 4-5, value in bits 0-3. Row 0 ends on a
    // colour that row 1 keeps modifying.
    const Bytes row0{0x01, 0x2F, 0x1A}, row1{0x13, 0x35, 0x00};
    Bytes body = plane_rows(row0, 6);
    const Bytes second = plane_rows(row1, 6);
    body.insert(body.end(), second.begin(), second.end());
    Bytes chunks, camg;
    put_be32(camg, 0x800);
    chunk(chunks, "BMHD", bmhd(3, 2, 6));
    chunk(chunks, "CAMG", camg);
    chunk(chunks, "BODY", body);
    ScopedPic pic;
    ASSERT_EQ(read_bytes(form("ILBM", chunks), pic), 1);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_EQ(pic->colours, 0);
    EXPECT_STREQ(pic->description, "IFF : 3x2 Ham6");
    // No CMAP: a 16-entry grey ramp, so entry 1 is 17.
    EXPECT_EQ(pixel_rows(*pic), (Rows{{17, 17, 17, 240, 17, 17, 240, 17, 160}, {240, 17, 48, 240, 80, 48, 0, 0, 0}}));
}

TEST(IffRead, HoldAndModifyEightPlanes)
{
    const Bytes row{0x05, 0x7F, 0xC1, 0x90};
    Bytes chunks, cmap(768, 0), camg;
    cmap[15] = 1, cmap[16] = 2, cmap[17] = 3;
    put_be32(camg, 0x800);
    chunk(chunks, "BMHD", bmhd(4, 1, 8));
    chunk(chunks, "CMAP", cmap);
    chunk(chunks, "CAMG", camg);
    chunk(chunks, "BODY", plane_rows(row, 8));
    ScopedPic pic;
    ASSERT_EQ(read_bytes(form("ILBM", chunks), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{1, 2, 3, 1, 2, 252, 1, 4, 252, 64, 4, 252}}));
}

TEST(IffHostile, StructuralFaultsRefuse)
{
    Bytes good;
    chunk(good, "BMHD", bmhd(2, 1, 8));
    chunk(good, "BODY", plane_rows({1, 2}, 8));
    ScopedPic control;
    ASSERT_EQ(read_bytes(form("ILBM", good), control), 1);

    std::vector<std::pair<const char*, Bytes>> cases;
    Bytes c;
    chunk(c, "BODY", plane_rows({1, 2}, 8));
    chunk(c, "BMHD", bmhd(2, 1, 8));
    cases.push_back({"BODY before BMHD", form("ILBM", c)});
    for (int planes : {0, 9, 16, 25}) {
        c.clear();
        chunk(c, "BMHD", bmhd(2, 1, planes));
        chunk(c, "BODY", Bytes(64, 0));
        cases.push_back({"plane count", form("ILBM", c)});
    }
    c.clear();
    chunk(c, "BMHD", bmhd(0, 1, 8));
    chunk(c, "BODY", Bytes(64, 0));
    cases.push_back({"zero width", form("ILBM", c)});
    cases.push_back({"unknown form type", form("ACBM", good)});
    cases.push_back({"no BODY", form("ILBM", Bytes(good.begin(), good.begin() + 28))});
    Bytes lying = form("ILBM", good);
    lying[4] = 0x10, lying[5] = lying[6] = lying[7] = 0;  // claims 256 MiB
    cases.push_back({"form larger than the file", lying});
    c.clear();
    chunk(c, "BMHD", bmhd(40, 4, 8, 0, 1));
    chunk(c, "BODY", {0xFF, 1});  // runs out after the first plane row
    cases.push_back({"body exhausted", form("ILBM", c)});
    c.clear();
    chunk(c, "BMHD", bmhd(2, 1, 8, 0, 1));
    chunk(c, "BODY", {0x10, 1, 2});  // a copy longer than the plane row
    cases.push_back({"unpack error", form("ILBM", c)});
    for (const auto& [what, file] : cases) {
        ScopedPic pic;
        EXPECT_EQ(read_bytes(file, pic), 0) << what;
        EXPECT_EQ(pic->pixels, nullptr) << what;
    }
}

TEST(IffHostile, ChunkLengthsAreBoundedByTheForm)
{
    Bytes chunks;
    chunk(chunks, "BMHD", bmhd(16, 2, 8));
    chunks.insert(chunks.end(), {'B', 'O', 'D', 'Y', 0x7F, 0xFF, 0xFF, 0xFF});
    Bytes first_row = plane_rows(Bytes(16, 3), 8);
    first_row.push_back(0x01);  // one byte of the second row
    chunks.insert(chunks.end(), first_row.begin(), first_row.end());
    ScopedPic pic;
    ASSERT_EQ(read_bytes(form("ILBM", chunks), pic), 1);
    const Rows rows = pixel_rows(*pic);
    EXPECT_EQ(rows[0], Bytes(16, 3));
    Bytes second(16, 0);
    second[7] = 1;  // the one byte there is, of plane 0; the rest reads as zero
    EXPECT_EQ(rows[1], second);
}

std::size_t find_id(const Bytes& file, const char* id)
{
    for (std::size_t i = 12; i + 4 <= file.size(); ++i)
        if (std::equal(id, id + 4, file.begin() + std::ptrdiff_t(i))) return i;
    return 0;
}
std::uint32_t be32_at(const Bytes& file, std::size_t at)
{
    return std::uint32_t(file[at]) << 24 | std::uint32_t(file[at + 1]) << 16 | std::uint32_t(file[at + 2]) << 8 |
           file[at + 3];
}

TEST(IffWrite, PaletteImagesRoundTripExactly)
{
    for (int bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        const int width = 21, height = 5;
        const Rows rows = bits == 1 ? mono_pattern(width, height) : ramp(width, height, 1 << bits);
        ScopedPic pic;
        pic.set(width, height, bits, rows, grey_ramp(1 << bits));
        const std::string path = temp_path("out.iff");
        ASSERT_EQ(write_iff(path.c_str(), pic.get()), 1);
        const Bytes file = read_file(path);
        EXPECT_EQ(be32_at(file, 4), file.size() - 8);
        EXPECT_EQ(file[28], bits);  // planes
        EXPECT_EQ(be32_at(file, find_id(file, "CMAP") + 4), std::uint32_t(3 << bits));
        EXPECT_EQ(find_id(file, "CAMG"), 0u);
        ScopedPic back;
        ASSERT_EQ(read_iff(path.c_str(), back.get()), 1);
        EXPECT_EQ(back->width, width);
        EXPECT_EQ(rgb_rows(*back), rgb_rows(*pic));
    }
}

TEST(IffWrite, TrueColourBecomesHoldAndModify)
{
    const int width = 40, height = 12;
    Rows rows;
    for (int y = 0; y < height; ++y) {
        Bytes row;
        for (int x = 0; x < width; ++x)
            row.insert(row.end(), {std::uint8_t(x * 6), std::uint8_t(y * 20), std::uint8_t(128 + (x % 5) * 10)});
        rows.push_back(row);
    }
    ScopedPic pic;
    pic.set(width, height, 24, rows);
    const std::string path = temp_path("ham.iff");
    ASSERT_EQ(write_iff(path.c_str(), pic.get()), 1);
    const Bytes file = read_file(path);
    EXPECT_EQ(file[28], 8);
    EXPECT_EQ(be32_at(file, find_id(file, "CMAP") + 4), 192u);
    const std::size_t camg = find_id(file, "CAMG");
    ASSERT_NE(camg, 0u);
    EXPECT_EQ(be32_at(file, camg + 8), 0x800u);
    EXPECT_EQ(be32_at(file, find_id(file, "BODY") + 4), 8u * 6u * height);
    ScopedPic back;
    ASSERT_EQ(read_iff(path.c_str(), back.get()), 1);
    ASSERT_EQ(back->bits, 24);
    long total = 0, worst = 0;
    const Rows got = pixel_rows(*back);
    for (int y = 0; y < height; ++y)
        for (std::size_t i = 0; i < rows[std::size_t(y)].size(); ++i) {
            const long d = std::labs(long(got[std::size_t(y)][i]) - rows[std::size_t(y)][i]);
            total += d;
            worst = std::max(worst, d);
        }
    EXPECT_LT(double(total) / double(width * height * 3), 12.0);
    EXPECT_LE(worst, 128);
}

}  // namespace
