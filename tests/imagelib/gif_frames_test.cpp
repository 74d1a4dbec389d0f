// The frames of an animated GIF: canvases against the peer's coalesced frames, delays, the loop, damaged files.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;

namespace {

// Four frames: red kept, lime at an offset cleared to the background, blue
// with a transparent half put back as it was, yellow kept for longer.
const char* const kAnimation =
    "-delay 10 -dispose None -size 40x30 xc:red"
    " -dispose Background ( -size 20x10 xc:lime -repage 40x30+5+4 )"
    " -dispose Previous ( -size 16x6 xc:blue -size 16x6 xc:none -append -repage 40x30+20+10 )"
    " -delay 25 -dispose None ( -size 6x6 xc:yellow -repage 40x30+0+0 ) -loop 0";

std::string make_animation(const std::string& name, const std::string& options)
{
    const std::string path = temp_path(name);
    std::string command = std::string("convert ") + kAnimation + " " + options + " " + path;
    for (std::size_t at = 0; (at = command.find_first_of("()", at)) != std::string::npos; at += 2)
        command.insert(at, "\\");
    EXPECT_EQ(run_tool({"sh", "-c", command}).status, 0);
    return path;
}

// Where each image descriptor starts, walking the file's blocks.
std::vector<std::size_t> image_offsets(const Bytes& gif)
{
    std::vector<std::size_t> offsets;
    std::size_t at = 13 + (gif[10] & 0x80 ? 3 * (std::size_t(2) << (gif[10] & 7)) : 0);
    const auto skip_blocks = [&] {
        while (at < gif.size() && gif[at] != 0) at += gif[at] + 1u;
        ++at;
    };
    while (at < gif.size() && gif[at] != ';') {
        if (gif[at] == '!') {
            at += 2;
            skip_blocks();
        } else {
            offsets.push_back(at);
            const std::uint8_t flags = gif[at + 9];
            at += 10 + (flags & 0x80 ? 3 * (std::size_t(2) << (flags & 7)) : 0) + 1;
            skip_blocks();
        }
    }
    return offsets;
}

struct Played {
    std::vector<Rows> frames;
    std::vector<int> delays;
};

Played play(PicFrames* frames, int count)
{
    Played played;
    ScopedPic frame;
    for (int i = 0; i < count; ++i) {
        std::int32_t delay = -1;
        if (_Pic_FramesNext(frames, frame.get(), &delay) != 1) break;
        EXPECT_EQ(frame->bits, 24);
        played.frames.push_back(pixel_rows(*frame));
        played.delays.push_back(delay);
    }
    return played;
}

TEST(GifFrames, CanvasesMatchThePeersCoalescedFramesAndLoop)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick not installed";
    for (const std::string options : {"", "-interlace GIF"}) {
        SCOPED_TRACE(options);
        const std::string path = make_animation("four.gif", options);
        // The peer's coalesced frames, laid over white as ours are.
        ASSERT_EQ(
            run_tool({"sh", "-c",
                      "convert " + path + " -coalesce -background white -alpha remove " + temp_path("frame%d.ppm")})
                .status,
            0);
        std::vector<Rows> expected;
        for (int i = 0; i < 4; ++i) {
            const auto frame = parse_pnm(read_file(temp_path("frame" + std::to_string(i) + ".ppm")));
            ASSERT_TRUE(frame);
            expected.push_back(frame->rgb);
        }

        PicFrames* frames = _Pic_FramesOpen(path.c_str());
        ASSERT_NE(frames, nullptr);
        const Played played = play(frames, 6);
        _Pic_FramesClose(frames);
        ASSERT_EQ(played.frames.size(), 6u);
        for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(played.frames[i], expected[i % 4]) << "frame " << i;
        EXPECT_EQ(played.delays, (std::vector<int>{100, 100, 100, 250, 100, 100}));

        // Reading the file as a picture still gives the first image alone.
        ScopedPic first;
        ASSERT_EQ(_Pic_Read(path.c_str(), first.get(), 0, 0), 1);
        EXPECT_EQ(rgb_rows(*first), expected[0]);
    }
}

TEST(GifFrames, DamagedImagesEndTheAnimationAndStillPicturesHaveNone)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick not installed";
    const Bytes whole = read_file(make_animation("four.gif", ""));
    const std::vector<std::size_t> offsets = image_offsets(whole);
    ASSERT_EQ(offsets.size(), 4u);

    // Cut inside the third image: the first two loop.
    const std::string cut = temp_path("cut.gif");
    write_file(cut, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(offsets[2] + 14)));
    PicFrames* frames = _Pic_FramesOpen(cut.c_str());
    ASSERT_NE(frames, nullptr);
    const Played played = play(frames, 5);
    _Pic_FramesClose(frames);
    ASSERT_EQ(played.frames.size(), 5u);
    EXPECT_EQ(played.frames[2], played.frames[0]);
    EXPECT_EQ(played.frames[3], played.frames[1]);
    EXPECT_NE(played.frames[0], played.frames[1]);

    // Cut inside the second image, and a picture of one image: no animation.
    write_file(cut, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(offsets[1] + 12)));
    EXPECT_EQ(_Pic_FramesOpen(cut.c_str()), nullptr);
    const std::string still = temp_path("still.gif");
    ASSERT_EQ(run_tool({"convert", "-size", "8x8", "xc:red", still}).status, 0);
    EXPECT_EQ(_Pic_FramesOpen(still.c_str()), nullptr);
    EXPECT_EQ(_Pic_FramesOpen(write_picture("still.bmp", 4, 4).c_str()), nullptr);
    EXPECT_EQ(_Pic_FramesOpen(temp_path("missing.gif").c_str()), nullptr);
}

}  // namespace
