// The BMP reader against truncated files, hostile headers and the size ceiling.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>

using namespace zarn::test;
using zarn::read_bmp;

namespace {

int read_bytes(const Bytes& file, ScopedPic& pic)
{
    return zarn::test::read_bytes(file, pic, "in.bmp", read_bmp);
}

Bytes masks_565()
{
    Bytes gap(12);
    put_u32(gap, 0, 0xF800);
    put_u32(gap, 4, 0x07E0);
    put_u32(gap, 8, 0x001F);
    return gap;
}

// The same reader on an in-memory stream, for the loops over many files.
int read_memory(const Bytes& file, ScopedPic& pic)
{
    Bytes copy = file;
    copy.push_back(0);  // fmemopen refuses an empty buffer; the extra byte lies past `size`
    std::FILE* stream = fmemopen(copy.data(), file.size(), "rb");
    if (!stream) return -1;
    const int result = zarn::read_bmp_stream(stream, pic.get());
    std::fclose(stream);
    return result;
}

struct Shape {
    const char* name;
    BmpBuilder builder;
    std::size_t headers;  // bytes before the reader has both headers
    bool run_length = false;
};

std::vector<Shape> shapes()
{
    const Bytes rle{3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 9, 0, 0, 4, 200, 0, 1};
    return {
        {"mono", BmpBuilder().size(9, 3).bits(1).palette(grey_ramp(2)).pixels(mono_pattern(9, 3)), 54},
        {"nibbles", BmpBuilder().size(5, 3).bits(4).palette(grey_ramp(16)).pixels(ramp(5, 3, 16)), 54},
        {"core", BmpBuilder().header_size(12).size(5, 3).bits(4).palette(grey_ramp(16)).pixels(ramp(5, 3, 16)), 26},
        {"rgb", BmpBuilder().size(3, 3).bits(24).pixels(rgb_ramp(3, 3)), 54},
        {"top_down", BmpBuilder().size(3, 3).bits(24).top_down().pixels(rgb_ramp(3, 3)), 54},
        {"masks", BmpBuilder().size(3, 2).bits(16).compression(3).gap(masks_565()).pixels(ramp(6, 2)), 54},
        {"rle8", BmpBuilder().size(6, 3).bits(8).compression(1).palette(grey_ramp(256)).pixel_data(rle), 54, true},
    };
}

// A file cut anywhere after its headers reads like the whole file with
// everything past the cut zeroed: missing palette entries are black and
// missing pixels index 0, the same every run. Any shorter cut reads nothing.
// Run-length data cut inside a literal drops the literal, so there each
// pixel is only either the whole file's or 0.
TEST(BmpHostile, TruncatedAnywhereReadsAsZeroedTail)
{
    for (const Shape& shape : shapes()) {
        const Bytes whole = shape.builder.bytes();
        ScopedPic complete;
        ASSERT_EQ(read_memory(whole, complete), 1);
        const Rows complete_rows = pixel_rows(*complete);
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            SCOPED_TRACE(std::string(shape.name) + " cut at " + std::to_string(cut));
            const Bytes truncated(whole.begin(), whole.begin() + std::ptrdiff_t(cut));
            ScopedPic pic;
            const int result = read_memory(truncated, pic);
            if (cut < shape.headers) {
                EXPECT_EQ(result, 0);
                EXPECT_EQ(pic->pixels, nullptr);
                continue;
            }
            ASSERT_EQ(result, 1);
            const Rows rows = pixel_rows(*pic);
            if (shape.run_length) {
                ASSERT_EQ(rows.size(), complete_rows.size());
                for (std::size_t y = 0; y < rows.size(); ++y)
                    for (std::size_t x = 0; x < rows[y].size(); ++x)
                        EXPECT_TRUE(rows[y][x] == 0 || rows[y][x] == complete_rows[y][x]) << y << "," << x;
                continue;
            }
            Bytes zeroed = whole;
            std::fill(zeroed.begin() + std::ptrdiff_t(cut), zeroed.end(), 0);
            ScopedPic model;
            ASSERT_EQ(read_memory(zeroed, model), 1);
            EXPECT_EQ(rows, pixel_rows(*model));
            EXPECT_EQ(Bytes(pic->palette, pic->palette + 768), Bytes(model->palette, model->palette + 768));
        }
    }
}

struct Patch {
    const char* name;
    std::size_t offset;
    std::uint32_t value;
    int width;  // 2 or 4 bytes
};

TEST(BmpHostile, ImpossibleHeadersAreRefused)
{
    const Bytes valid = BmpBuilder().size(4, 2).bits(8).palette(grey_ramp(256)).pixels(ramp(4, 2)).bytes();
    const std::vector<std::vector<Patch>> cases{
        {{"zero width", 18, 0, 4}},
        {{"negative width", 18, std::uint32_t(-5), 4}},
        {{"zero height", 22, 0, 4}},
        {{"INT_MIN height", 22, std::uint32_t(INT_MIN), 4}},
        {{"zero bits", 28, 0, 2}},
        {{"bits 0xFFFF", 28, 0xFFFF, 2}},
        {{"bits 32", 28, 32, 2}},
        {{"bits 2", 28, 2, 2}},
        {{"compression 4", 30, 4, 4}},
        {{"compression ~0", 30, 0xFFFFFFFF, 4}},
        {{"RLE4 on 8 bits", 30, 2, 4}},
        {{"bitfields on 8 bits", 30, 3, 4}},
        {{"top-down RLE8", 30, 1, 4}, {"", 22, std::uint32_t(-2), 4}},
        {{"largest dimensions", 18, 0x7FFFFFFF, 4}, {"", 22, 0x7FFFFFFF, 4}},
        {{"a terabyte", 18, 1u << 20, 4}, {"", 22, 1u << 20, 4}},
        {{"just over 1 GiB", 18, 32769, 4}, {"", 22, 32768, 4}},
    };
    for (const auto& patches : cases) {
        Bytes file = valid;
        for (const Patch& p : patches) {
            if (p.width == 2) put_u16(file, p.offset, std::uint16_t(p.value));
            else put_u32(file, p.offset, p.value);
        }
        ScopedPic pic;
        EXPECT_EQ(read_bytes(file, pic), 0) << patches[0].name;
        EXPECT_EQ(pic->pixels, nullptr) << patches[0].name;
    }
}

TEST(BmpHostile, OffsetsPastTheEndGiveBlackNotGarbage)
{
    const Bytes valid = BmpBuilder().size(4, 2).bits(8).palette(grey_ramp(256)).pixels(ramp(4, 2)).bytes();
    const Rows black(2, Bytes(4, 0));

    for (std::uint32_t offset : {std::uint32_t(valid.size()), std::uint32_t(valid.size() + 1000), 0xFFFFFFFFu}) {
        Bytes file = valid;
        put_u32(file, 10, offset);
        ScopedPic pic;
        ASSERT_EQ(read_bytes(file, pic), 1) << offset;
        EXPECT_EQ(pixel_rows(*pic), black) << offset;
    }

    Bytes huge_header = valid;  // the palette would start 4 GiB in
    put_u32(huge_header, 14, 0xFFFFFFFF);
    ScopedPic pic;
    ASSERT_EQ(read_bytes(huge_header, pic), 1);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 768), Bytes(768, 0));
    EXPECT_EQ(pixel_rows(*pic), ramp(4, 2));
}

TEST(BmpHostile, RunLengthStaysInsideTheImage)
{
    // Runs and deltas far larger than a 1x2 picture, ending with a delta past
    // the top or with a literal that promises more bytes than the file holds.
    const Bytes start{255, 1, 0, 0, 0, 2, 255, 0, 255, 2};
    Bytes far_delta = start, long_literal = start;
    far_delta.insert(far_delta.end(), {0, 2, 255, 255, 7, 7});
    long_literal.insert(long_literal.end(), {0, 255});
    long_literal.resize(long_literal.size() + 100, 3);
    for (const Bytes& rle : {far_delta, long_literal}) {
        ScopedPic pic;
        ASSERT_EQ(
            read_bytes(BmpBuilder().size(1, 2).bits(8).compression(1).palette(grey_ramp(256)).pixel_data(rle).bytes(),
                       pic),
            1);
        EXPECT_EQ(pixel_rows(*pic), (Rows{{0}, {1}}));
    }
}

TEST(BmpHostile, CeilingFromTheEnvironment)
{
    const ScopedEnv ceiling("ZARN_MAX_IMAGE_BYTES", "100");
    struct Case {
        int width, height, bits;
        int expected;
    };
    for (const Case c : {Case{10, 10, 8, 1}, Case{11, 10, 8, 0}, Case{6, 5, 24, 1}, Case{7, 5, 24, 0},
                         Case{7, 5, 16, 0},  // 70 bytes in the file, but 105 once widened to RGB
                         Case{80, 10, 1, 1}, Case{81, 10, 1, 0}}) {
        const int file_bits = c.bits;
        const Rows rows(
            std::size_t(c.height),
            Bytes(file_bits == 1 ? (std::size_t(c.width) + 7) / 8 : std::size_t(c.width) * std::size_t(file_bits / 8)));
        BmpBuilder builder;
        builder.size(c.width, c.height).bits(c.bits).pixels(rows);
        if (c.bits <= 8) builder.palette(grey_ramp(1 << c.bits));
        ScopedPic pic;
        EXPECT_EQ(read_bytes(builder.bytes(), pic), c.expected) << c.width << "x" << c.height << "x" << c.bits;
    }
}

}  // namespace
