// The WebP module as a host sees it: stills, alpha, orientation and animations from the peer tools, and what we write.
#include "test_support.h"
#include "zarnwebp.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zarn::test;

namespace {

bool have_peers()
{
    return have_program("cwebp") && have_program("dwebp") && have_program("webpmux") && have_program("img2webp");
}
#define REQUIRE_PEERS() \
    if (!have_peers()) GTEST_SKIP() << "cwebp, dwebp, webpmux or img2webp missing"

// A PPM of smooth gradients with seeded grain, so lossy coding has texture to keep.
std::string source(const std::string& name, int width, int height, unsigned seed = 1)
{
    const Rows grain = noise_rows(width, height, 3, seed);
    Rows rows(std::size_t(height), Bytes(3 * std::size_t(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int base[3] = {200 * x / width, 200 * y / height, 100 + 50 * (x + y) / (width + height)};
            for (int c = 0; c < 3; ++c)
                rows[std::size_t(y)][std::size_t(3 * x + c)] =
                    std::uint8_t(base[c] + grain[std::size_t(y)][std::size_t(3 * x + c)] / 8);
        }
    const std::string path = temp_path(name);
    write_file(path, ppm(rows, width));
    return path;
}

Rows peer_rows(const std::string& webp)
{
    const auto decoded = decode({"dwebp", "-quiet", webp, "-ppm", "-o", "-"});
    return decoded ? decoded->rgb : Rows{};
}

Rows file_rows(const std::string& ppm_path)
{
    const auto parsed = parse_pnm(read_file(ppm_path));
    return parsed ? parsed->rgb : Rows{};
}

bool shell(const std::string& command)
{
    return run_tool({"sh", "-c", command + " 2>/dev/null"}).status == 0;
}

int read(const std::string& path, ScopedPic& pic)
{
    return _Pic_Read(path.c_str(), pic.get(), 0, 0);
}

TEST(WebpRead, StillsMatchThePeerDecoder)
{
    REQUIRE_PEERS();
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{33, 17}}) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const std::string in = source(size + ".ppm", width, height);
        for (const bool lossless : {false, true}) {
            SCOPED_TRACE(size + (lossless ? " lossless" : " lossy"));
            const std::string webp = temp_path(size + (lossless ? "_ll" : "_q80") + ".webp");
            ASSERT_TRUE(
                shell("cwebp -quiet " + std::string(lossless ? "-lossless" : "-q 80") + " " + in + " -o " + webp));
            ScopedPic pic;
            ASSERT_EQ(read(webp, pic), 1);
            EXPECT_EQ(pic->bits, 24);
            EXPECT_STREQ(pic->description, ("WebP : " + size + (lossless ? " lossless" : " lossy")).c_str());
            EXPECT_LE(largest_difference(pixel_rows(*pic), peer_rows(webp)), 1);
            if (lossless) {
                EXPECT_EQ(pixel_rows(*pic), file_rows(in));
            }
        }
    }
}

TEST(WebpRead, AlphaIsLaidOverWhite)
{
    REQUIRE_PEERS();
    if (!have_image_magick()) GTEST_SKIP() << "convert missing";
    const std::string png = temp_path("alpha.png"), webp = temp_path("alpha.webp");
    ASSERT_TRUE(shell("convert -size 33x17 gradient:red-blue -alpha set -channel A -fx 'i/w' png32:" + png));
    ASSERT_TRUE(shell("cwebp -quiet -lossless -exact " + png + " -o " + webp));
    const ToolRun pam = run_tool({"dwebp", "-quiet", webp, "-pam", "-o", "-"});
    const std::string header = "ENDHDR\n";
    const auto end = std::search(pam.output.begin(), pam.output.end(), header.begin(), header.end());
    ASSERT_NE(end, pam.output.end());
    const Bytes rgba(end + std::ptrdiff_t(header.size()), pam.output.end());
    ASSERT_EQ(rgba.size(), 33u * 17 * 4);
    Rows expected(17, Bytes(33 * 3));
    for (std::size_t i = 0; i < 33 * 17; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            expected[i / 33][i % 33 * 3 + c] = zarn::onto_white(rgba[4 * i + c], rgba[4 * i + 3]);

    ScopedPic pic;
    ASSERT_EQ(read(webp, pic), 1);
    EXPECT_STREQ(pic->description, "WebP : 33x17 lossless alpha");
    EXPECT_EQ(pixel_rows(*pic), expected);
}

TEST(WebpRead, ExifOrientationTurnsThePictureUpright)
{
    REQUIRE_PEERS();
    // A little-endian TIFF header and one IFD entry: orientation (0x112) = 6.
    const Bytes exif{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
    const std::string in = source("turn.ppm", 5, 3), plain = temp_path("plain.webp"), blob = temp_path("turn.exif"),
                      webp = temp_path("turn.webp");
    write_file(blob, exif);
    ASSERT_TRUE(shell("cwebp -quiet -lossless " + in + " -o " + plain));
    ASSERT_TRUE(shell("webpmux -set exif " + blob + " " + plain + " -o " + webp));
    const Rows stored = file_rows(in);
    // Orientation 6 is stored a quarter turn anticlockwise: the upright
    // picture's row y is stored column y read bottom to top.
    Rows upright(5, Bytes(3 * 3));
    for (std::size_t y = 0; y < 5; ++y)
        for (std::size_t x = 0; x < 3; ++x)
            for (std::size_t c = 0; c < 3; ++c) upright[y][3 * x + c] = stored[2 - x][3 * y + c];

    ScopedPic pic;
    ASSERT_EQ(read(webp, pic), 1);
    EXPECT_EQ(pic->width, 3);
    EXPECT_EQ(pic->height, 5);
    EXPECT_EQ(pixel_rows(*pic), upright);

    const ScopedEnv keep("ZARN_KEEP_ORIENTATION", "1");
    ScopedPic kept;
    ASSERT_EQ(read(webp, kept), 1);
    EXPECT_EQ(pixel_rows(*kept), stored);
}

TEST(WebpRead, FoundByContentAndCutShortFilesAreSafe)
{
    REQUIRE_PEERS();
    const std::string in = source("cut.ppm", 64, 48, 7);
    for (const char* mode : {"-q 90", "-lossless"}) {
        SCOPED_TRACE(mode);
        const std::string dat = temp_path("picture.dat");
        ASSERT_TRUE(shell("cwebp -quiet " + std::string(mode) + " " + in + " -o " + dat));
        EXPECT_EQ(_Pic_Valid(dat.c_str()), 12);
        ScopedPic whole;
        ASSERT_EQ(read(dat, whole), 1);

        // Every cut is refused or gives the whole picture, the same on each run.
        const Bytes file = read_file(dat);
        for (std::size_t size = 0; size < file.size(); size += 1 + size / 8) {
            std::FILE* stream = std::tmpfile();
            ASSERT_NE(stream, nullptr);
            ASSERT_EQ(std::fwrite(file.data(), 1, size, stream), size);
            std::rewind(stream);
            ScopedPic first, second;
            const int read_once = zarn::webp::read_webp_stream(stream, first.get());
            std::rewind(stream);
            const int read_twice = zarn::webp::read_webp_stream(stream, second.get());
            std::fclose(stream);
            ASSERT_EQ(read_once, read_twice) << size;
            if (!read_once) continue;
            ASSERT_EQ(first->width, 64);
            ASSERT_EQ(first->height, 48);
            EXPECT_EQ(pixel_rows(*first), pixel_rows(*second)) << size;
        }
    }
}

TEST(WebpWrite, OurFilesDecodeInThePeer)
{
    REQUIRE_PEERS();
    const int width = 37, height = 21;
    const Rows rows = file_rows(source("write.ppm", width, height, 3));
    ScopedPic rgb;
    rgb.set(width, height, 24, rows);
    Bytes palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {std::uint8_t(i), std::uint8_t(255 - i), 40});
    Rows indexes(height, Bytes(width));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) indexes[std::size_t(y)][std::size_t(x)] = std::uint8_t(5 * x + 3 * y);
    ScopedPic indexed;
    indexed.set(width, height, 8, indexes, palette);
    indexed->colours = 256;

    // Lossy at the default quality is the peer's own default, -q 75, and
    // makes the same bytes from the same pixels whatever the record's kind.
    for (ScopedPic* pic : {&rgb, &indexed}) {
        const Rows model = rgb_rows(**pic);
        const std::string pixels = temp_path("model.ppm"), peer = temp_path("peer.webp");
        write_file(pixels, ppm(model, width));
        ASSERT_TRUE(shell("cwebp -quiet -q 75 " + pixels + " -o " + peer));
        for (const int type : {16, 17}) {
            SCOPED_TRACE(std::to_string((*pic)->bits) + " bits, type " + std::to_string(type));
            std::string name = temp_path("ours.webp");
            ASSERT_NE(_Pic_Write(name.data(), pic->get(), type, 0), 0);
            const Rows decoded = peer_rows(name);
            ASSERT_EQ(decoded.size(), std::size_t(height));
            if (type == 17) {
                EXPECT_EQ(decoded, model);
            } else {
                EXPECT_EQ(read_file(name), read_file(peer));
            }
        }
    }
    // A higher quality keeps more.
    std::string low = temp_path("q20.webp"), high = temp_path("q95.webp");
    ASSERT_NE(_Pic_Write(low.data(), rgb.get(), 16, 20), 0);
    ASSERT_NE(_Pic_Write(high.data(), rgb.get(), 16, 95), 0);
    EXPECT_LT(largest_difference(peer_rows(high), rows), largest_difference(peer_rows(low), rows));
}

TEST(WebpFrames, TwoFramesWithTheirDelaysThenAgain)
{
    REQUIRE_PEERS();
    const std::string one = source("one.ppm", 9, 7, 1), two = source("two.ppm", 9, 7, 2), webp = temp_path("anim.webp");
    ASSERT_TRUE(shell("img2webp -lossless -d 100 " + one + " -d 250 " + two + " -o " + webp));
    ScopedPic first;
    ASSERT_EQ(read(webp, first), 1);
    EXPECT_STREQ(first->description, "WebP : 9x7 lossless animated");
    EXPECT_EQ(pixel_rows(*first), file_rows(one));

    PicFrames* frames = _Pic_FramesOpen(webp.c_str());
    ASSERT_NE(frames, nullptr);
    ScopedPic frame;
    std::int32_t delay = 0;
    const std::pair<std::string, int> expected[] = {{one, 100}, {two, 250}, {one, 100}};
    for (const auto& [picture, duration] : expected) {
        ASSERT_EQ(_Pic_FramesNext(frames, frame.get(), &delay), 1);
        EXPECT_EQ(delay, duration);
        EXPECT_EQ(frame->bits, 24);
        EXPECT_EQ(pixel_rows(*frame), file_rows(picture));
    }
    _Pic_FramesClose(frames);

    // A still has no frames to play.
    const std::string still = temp_path("still.webp");
    ASSERT_TRUE(shell("cwebp -quiet -lossless " + one + " -o " + still));
    EXPECT_EQ(_Pic_FramesOpen(still.c_str()), nullptr);
}

}  // namespace
