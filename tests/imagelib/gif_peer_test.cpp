// GIF files checked against other decoders and encoders, in both directions.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace zarn::test;
using zarn::read_gif;
using zarn::write_gif;

namespace {

// A picture of `count` colours with both smooth and busy areas.
Rows picture(int width, int height, int count)
{
    std::mt19937 random(3);
    Rows rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int i = x < width / 2 ? (x / 5 + y / 7) % count : int(random() % unsigned(count));
            rows[std::size_t(y)].insert(rows[std::size_t(y)].end(),
                                        {std::uint8_t(i * 37), std::uint8_t(255 - i * 11), std::uint8_t(i * 5)});
        }
    return rows;
}

// The shell's way of feeding a tool a file on standard input.
std::vector<std::string> piped(const std::string& command)
{
    return {"sh", "-c", command};
}

TEST(GifPeer, PeerFilesReadToThePeersPixels)
{
    if (!have_program("giftopnm") || !have_program("ppmtogif") || !have_program("pamtogif"))
        GTEST_SKIP() << "netpbm not installed";
    const std::string source = temp_path("source.ppm");
    write_file(source, ppm(picture(203, 141, 200), 203));
    write_file(temp_path("two.ppm"), ppm(picture(77, 33, 2), 77));
    write_file(temp_path("sixteen.ppm"), ppm(picture(64, 40, 16), 64));

    std::vector<std::pair<std::string, std::string>> makers = {
        {"ppmtogif.gif", "ppmtogif < " + source},
        {"pamtogif_interlaced.gif", "pamtogif -interlace < " + source},
        {"two.gif", "pamtogif < " + temp_path("two.ppm")},
        {"sixteen.gif", "ppmtogif < " + temp_path("sixteen.ppm")},
    };
    if (have_image_magick()) {
        makers.push_back({"magick.gif", "convert " + source + " gif:-"});
        makers.push_back({"magick_interlaced.gif", "convert " + source + " -interlace GIF gif:-"});
    }
    if (have_program("gifbuild")) {
        // A hand-written 3 x 2 file through giflib's own encoder.
        const std::string text =
            "screen width 3\nscreen height 2\nscreen colors 4\nscreen map\n"
            "\trgb 000 000 000 is 0\n\trgb 255 000 000 is 1\n\trgb 000 255 000 is 2\n"
            "\trgb 000 000 255 is 3\nend\nimage # 1\nimage left 0\nimage top 0\n"
            "image bits 3 by 2\n012\n321\n";
        write_file(temp_path("build.txt"), Bytes(text.begin(), text.end()));
        makers.push_back({"gifbuild.gif", "gifbuild < " + temp_path("build.txt")});
    }
    for (const auto& [name, command] : makers) {
        SCOPED_TRACE(name);
        const std::string path = temp_path(name);
        const ToolRun made = run_tool(piped(command + " > " + path));
        ASSERT_EQ(made.status, 0);
        const auto expected = decode({"giftopnm", path});
        ASSERT_TRUE(expected);
        ScopedPic pic;
        ASSERT_EQ(read_gif(path.c_str(), pic.get()), 1);
        EXPECT_EQ(pic->width, expected->width);
        EXPECT_EQ(rgb_rows(*pic), expected->rgb);
    }
}

TEST(GifPeer, OurFilesDecodeInThePeersToOurPixels)
{
    if (!have_program("giftopnm")) GTEST_SKIP() << "netpbm not installed";
    std::mt19937 random(11);
    struct Case {
        int bits, width, height;
    };
    // 600 x 500 random indexes fill and clear the dictionary dozens of times.
    for (const Case& c : {Case{1, 45, 17}, Case{2, 31, 9}, Case{4, 64, 33}, Case{8, 600, 500}}) {
        SCOPED_TRACE(c.bits);
        const int colours = 1 << c.bits;
        Rows rows;
        if (c.bits == 1) {
            rows = mono_pattern(c.width, c.height);
        } else {
            rows.assign(std::size_t(c.height), Bytes(std::size_t(c.width)));
            for (Bytes& row : rows)
                for (std::size_t x = 0; x < row.size(); ++x)
                    row[x] =
                        std::uint8_t(x < row.size() / 3 ? x / 9 % unsigned(colours) : random() % unsigned(colours));
        }
        Bytes palette;
        for (int i = 0; i < colours; ++i)
            palette.insert(palette.end(),
                           {std::uint8_t(i * 255 / (colours - 1)), std::uint8_t(i * 3), std::uint8_t(255 - i)});
        ScopedPic pic;
        pic.set(c.width, c.height, c.bits, rows, palette);
        const std::string path = temp_path("ours.gif");
        ASSERT_EQ(write_gif(path.c_str(), pic.get()), 1);
        const Rows ours = rgb_rows(*pic);

        const auto netpbm = decode({"giftopnm", path});
        ASSERT_TRUE(netpbm);
        EXPECT_EQ(netpbm->rgb, ours);
        if (have_image_magick()) {
            const auto magick = decode({"convert", path, "-depth", "8", "ppm:-"});
            ASSERT_TRUE(magick);
            EXPECT_EQ(magick->rgb, ours);
        }
        if (have_program("giftext")) {
            EXPECT_EQ(run_tool({"giftext", path}).status, 0);
        }
    }
}

}  // namespace
