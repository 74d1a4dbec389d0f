// AVIF files made by avifenc read to avifdec's pixels; ours decode in avifdec; orientation, frames, colours, damage.
#include "srgb_oracle.h"
#include "colour_profile.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace zarn::test;

namespace {

constexpr int kAvifCode = 13, kAvifSaveType = 18;

// Rows of a smooth picture, which lossy coding keeps close.
Rows smooth(int width, int height)
{
    Rows rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[std::size_t(y)].insert(rows[std::size_t(y)].end(),
                                        {std::uint8_t(x * 5), std::uint8_t(200 - y * 4), std::uint8_t(60 + x + y)});
    return rows;
}

// `rows` (3 bytes a pixel, `width` wide) turned a quarter anticlockwise
// `turns` times, then mirrored left to right (`mirror` 1) or top to
// bottom (0), or not at all (-1): what a viewer shows of irot and imir.
Rows transformed(const Rows& rows, int width, int turns, int mirror)
{
    Rows out = rows;
    int w = width;
    for (int t = 0; t < turns; ++t) {
        const int h = int(out.size());
        Rows turned(std::size_t(w), Bytes(std::size_t(3 * h)));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    turned[std::size_t(w - 1 - x)][std::size_t(3 * y + c)] =
                        out[std::size_t(y)][std::size_t(3 * x + c)];
        out = turned;
        w = h;
    }
    if (mirror == 0) std::reverse(out.begin(), out.end());
    if (mirror == 1)
        for (Bytes& row : out)
            for (int x = 0; x < w / 2; ++x)
                for (int c = 0; c < 3; ++c)
                    std::swap(row[std::size_t(3 * x + c)], row[std::size_t(3 * (w - 1 - x) + c)]);
    return out;
}

class AvifModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("avifenc") || !have_program("avifdec")) GTEST_SKIP() << "avifenc or avifdec not installed";
        if (!have_image_magick()) GTEST_SKIP() << "ImageMagick's convert not installed";
    }

    // avifenc's file of `sources` at its fastest speed with `options`, or "" when it refused.
    static std::string avifenc(const std::vector<std::string>& options, const std::string& name)
    {
        const std::string path = temp_path(name);
        std::vector<std::string> argv{"avifenc", "-s", "10"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(path);
        return run_tool(argv).status == 0 && file_exists(path) ? path : "";
    }

    // What avifdec's 8-bit PNG of `avif` holds, read through our PNG reader
    // (which lays alpha over white as ours does).
    static bool avifdec(const std::string& avif, ScopedPic& pic)
    {
        const std::string png = temp_path("avifdec.png");
        if (run_tool({"avifdec", "--depth", "8", avif, png}).status != 0) return false;
        return _Pic_Read(png.c_str(), pic.get(), 0, 0) == 1;
    }

    // A PNG of `rows` through ImageMagick, as avifenc takes no PPM.
    static std::string png(const Rows& rows, int width, const std::string& name, std::vector<std::string> extra = {})
    {
        const std::string ppm_path = temp_path(name + ".ppm"), path = temp_path(name + ".png");
        write_file(ppm_path, ppm(rows, width));
        std::vector<std::string> argv{"convert", ppm_path};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back((extra.empty() ? "png24:" : "png32:") + path);
        EXPECT_EQ(run_tool(argv).status, 0) << name;
        return path;
    }
};

TEST_F(AvifModule, AvifencFilesReadToAvifdecPixels)
{
    const std::string colour = png(smooth(33, 17), 33, "colour"), tiny = png(rgb_ramp(1, 1), 1, "tiny");
    const std::string alpha = png(smooth(33, 17), 33, "alpha", {"-alpha", "set", "-channel", "A", "-fx", "i/w"});
    struct Case {
        std::vector<std::string> options;
        int bits;
        const char* description;
    };
    const Case cases[] = {
        {{"-y", "420", tiny}, 24, "AVIF : 1x1 8-bit 4:2:0"},
        {{"-y", "420", colour}, 24, "AVIF : 33x17 8-bit 4:2:0"},
        {{"-d", "10", "-y", "444", colour}, 24, "AVIF : 33x17 10-bit 4:4:4"},
        {{"-d", "12", "-y", "422", colour}, 24, "AVIF : 33x17 12-bit 4:2:2"},
        {{"-d", "10", "-y", "400", colour}, 8, "AVIF : 33x17 10-bit 4:0:0"},
        {{"-y", "420", alpha}, 24, "AVIF : 33x17 8-bit 4:2:0 alpha"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const std::string avif = avifenc(c.options, "in.avif");
        ASSERT_FALSE(avif.empty());
        ScopedPic ours, peer;
        ASSERT_EQ(_Pic_Read(avif.c_str(), ours.get(), 0, 0), 1) << _Pic_FailureText();
        ASSERT_TRUE(avifdec(avif, peer));
        EXPECT_EQ(ours->bits, c.bits);
        EXPECT_STREQ(ours->description, c.description);
        EXPECT_LE(largest_difference(rgb_rows(*ours), rgb_rows(*peer)), 1);
    }

    // Found by its content under any name.
    const std::string dat = temp_path("picture.dat");
    std::filesystem::copy_file(avifenc({colour}, "named.avif"), dat);
    EXPECT_EQ(_Pic_Valid(dat.c_str()), kAvifCode);
    ScopedPic pic;
    EXPECT_EQ(_Pic_Read(dat.c_str(), pic.get(), 0, 0), 1);
}

TEST_F(AvifModule, RotationAndMirrorAppliedUnlessKept)
{
    const Rows rows = smooth(33, 17);
    const std::string source = png(rows, 33, "source");
    struct Case {
        int turns, mirror;
    };
    for (const Case c : {Case{1, -1}, Case{3, -1}, Case{0, 0}, Case{1, 1}, Case{3, 0}, Case{2, 1}}) {
        SCOPED_TRACE(testing::Message() << "irot " << c.turns << " imir " << c.mirror);
        std::vector<std::string> options{"-y", "444", "--min", "0", "--max", "0"};
        if (c.turns) options.insert(options.end(), {"--irot", std::to_string(c.turns)});
        if (c.mirror >= 0) options.insert(options.end(), {"--imir", std::to_string(c.mirror)});
        options.push_back(source);
        const std::string avif = avifenc(options, "turned.avif");
        ASSERT_FALSE(avif.empty());
        ScopedPic stored, upright, peer;
        {
            ScopedEnv keep("ZARN_KEEP_ORIENTATION", "1");
            ASSERT_EQ(_Pic_Read(avif.c_str(), stored.get(), 0, 0), 1);
        }
        ASSERT_TRUE(avifdec(avif, peer));
        EXPECT_LE(largest_difference(rgb_rows(*stored), rgb_rows(*peer)), 1);
        ASSERT_EQ(_Pic_Read(avif.c_str(), upright.get(), 0, 0), 1);
        EXPECT_EQ(upright->width, c.turns % 2 ? 17 : 33);
        EXPECT_EQ(rgb_rows(*upright), transformed(rgb_rows(*stored), 33, c.turns, c.mirror));
    }
}

TEST_F(AvifModule, OurFilesDecodeInAvifdec)
{
    const Rows rows = smooth(33, 17);
    ScopedPic colour, grey;
    colour.set(33, 17, 24, rows);
    grey.set(33, 17, 8, ramp(33, 17), grey_ramp(256));
    const std::string fine = temp_path("fine.avif"), coarse = temp_path("coarse.avif"),
                      default_quality = temp_path("default.avif"), grey_path = temp_path("grey.avif");
    ASSERT_EQ(_Pic_Write(const_cast<char*>(fine.c_str()), colour.get(), kAvifSaveType, 95), 1);
    ASSERT_EQ(_Pic_Write(const_cast<char*>(coarse.c_str()), colour.get(), kAvifSaveType, 20), 1);
    ASSERT_EQ(_Pic_Write(const_cast<char*>(default_quality.c_str()), colour.get(), kAvifSaveType, 0), 1);
    ASSERT_EQ(_Pic_Write(const_cast<char*>(grey_path.c_str()), grey.get(), kAvifSaveType, 90), 1);
    EXPECT_LT(read_file(coarse).size(), read_file(default_quality).size());
    EXPECT_LT(read_file(default_quality).size(), read_file(fine).size());

    ScopedPic peer;
    ASSERT_TRUE(avifdec(fine, peer));
    EXPECT_LE(largest_difference(rgb_rows(*peer), rows), 6);
    ASSERT_TRUE(avifdec(default_quality, peer));
    EXPECT_LE(largest_difference(rgb_rows(*peer), rows), 24);

    // A grey record stays grey: one plane, read back as 8-bit grey.
    ScopedPic back;
    ASSERT_TRUE(avifdec(grey_path, peer));
    EXPECT_LE(largest_difference(rgb_rows(*peer), rgb_rows(*grey)), 6);
    ASSERT_EQ(_Pic_Read(grey_path.c_str(), back.get(), 0, 0), 1);
    EXPECT_EQ(back->bits, 8);
    EXPECT_STREQ(back->description, "AVIF : 33x17 8-bit 4:0:0");
}

TEST_F(AvifModule, SequenceFramesIterateWithDelaysAndWrap)
{
    const std::string red = png(solid(8, 6, {255, 0, 0}), 8, "red"), blue = png(solid(8, 6, {0, 0, 255}), 8, "blue");
    const std::string avif =
        avifenc({"--timescale", "100", "--duration", "25", red, "--duration", "50", blue}, "sequence.avif");
    ASSERT_FALSE(avif.empty());

    ScopedPic first;
    ASSERT_EQ(_Pic_Read(avif.c_str(), first.get(), 0, 0), 1);
    // avifenc gives a sequence an alpha plane of its own accord, so only the ends are checked.
    const std::string description = first->description;
    EXPECT_EQ(description.rfind("AVIF : 8x6 8-bit 4:4:4", 0), 0u) << description;
    EXPECT_TRUE(description.ends_with(" sequence")) << description;
    EXPECT_LE(largest_difference(rgb_rows(*first), solid(8, 6, {255, 0, 0})), 2);

    PicFrames* frames = _Pic_FramesOpen(avif.c_str());
    ASSERT_NE(frames, nullptr);
    const Bytes colours[] = {{255, 0, 0}, {0, 0, 255}, {255, 0, 0}};
    const std::int32_t delays[] = {250, 500, 250};
    ScopedPic frame;
    for (int i = 0; i < 3; ++i) {
        std::int32_t delay = -1;
        ASSERT_EQ(_Pic_FramesNext(frames, frame.get(), &delay), 1) << i;
        EXPECT_EQ(delay, delays[i]);
        EXPECT_EQ(frame->bits, 24);
        EXPECT_LE(largest_difference(rgb_rows(*frame), solid(8, 6, colours[i])), 2) << i;
    }
    _Pic_FramesClose(frames);

    EXPECT_EQ(_Pic_FramesOpen(red.c_str()), nullptr);
    EXPECT_EQ(_Pic_FramesOpen(avifenc({red}, "single.avif").c_str()), nullptr);
}

// Tagged Display P3 by its nclx codes or by an ICC profile, a lossless file
// reads as lcms2 turns its stored pixels into sRGB, and says so; so do a
// sequence's frames. sRGB's codes, a broken profile (even over P3 codes)
// and kept colours read as stored.
TEST_F(AvifModule, TaggedColoursAreTurnedIntoSrgb)
{
    const Rows rows = smooth(33, 17);
    const std::string source = png(rows, 33, "source");
    const std::vector<std::uint8_t> p3 = zarn::profile_from_cicp(12, 13);
    const std::string icc = temp_path("p3.icc");
    write_file(icc, Bytes(p3.begin(), p3.end()));
    const std::string broken = temp_path("broken.icc");
    Bytes garbage(p3.begin(), p3.end());
    std::fill(garbage.begin() + 36, garbage.begin() + 40, std::uint8_t('x'));  // no 'acsp' signature
    write_file(broken, garbage);
    struct Case {
        std::vector<std::string> tag;
        const char* ending;
    };
    for (const Case& c :
         {Case{{"--cicp", "12/13/0"}, "4:4:4 - Display P3"},
          Case{{"--cicp", "2/2/0", "--icc", icc}, "4:4:4 - Display P3"}, Case{{"--cicp", "1/13/0"}, "4:4:4"}}) {
        SCOPED_TRACE(c.tag[1]);
        std::vector<std::string> options{"-l"};
        options.insert(options.end(), c.tag.begin(), c.tag.end());
        options.push_back(source);
        const std::string avif = avifenc(options, "tagged.avif");
        ASSERT_FALSE(avif.empty());
        ScopedPic stored, ours;
        {
            ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
            ASSERT_EQ(_Pic_Read(avif.c_str(), stored.get(), 0, 0), 1);
        }
        EXPECT_LE(largest_difference(rgb_rows(*stored), rows), 1);
        EXPECT_TRUE(std::string(stored->description).ends_with("4:4:4")) << stored->description;
        ASSERT_EQ(_Pic_Read(avif.c_str(), ours.get(), 0, 0), 1);
        EXPECT_TRUE(std::string(ours->description).ends_with(c.ending)) << ours->description;
        const bool tagged = std::string(c.ending).size() > 5;
        EXPECT_LE(largest_difference(rgb_rows(*ours), tagged ? lcms_to_srgb(rgb_rows(*stored), p3) : rgb_rows(*stored)),
                  tagged ? 2 : 0);
    }

    const std::string sequence = avifenc({"-l", "--cicp", "12/13/0", source, source}, "sequence.avif");
    ASSERT_FALSE(sequence.empty());
    PicFrames* frames = _Pic_FramesOpen(sequence.c_str());
    ASSERT_NE(frames, nullptr);
    ScopedPic frame;
    std::int32_t delay = 0;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(_Pic_FramesNext(frames, frame.get(), &delay), 1);
        EXPECT_LE(largest_difference(rgb_rows(*frame), lcms_to_srgb(rows, p3)), 3) << i;
    }
    _Pic_FramesClose(frames);
}

TEST_F(AvifModule, DamagedOrHugeFilesRefusedOrReadCleanly)
{
    const std::string avif = avifenc({png(smooth(33, 17), 33, "source")}, "whole.avif");
    ASSERT_FALSE(avif.empty());
    const Bytes whole = read_file(avif);
    const std::string cut = temp_path("cut.avif");
    for (std::size_t length :
         {std::size_t(12), std::size_t(40), whole.size() / 2, whole.size() - 10, whole.size() - 1}) {
        write_file(cut, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
        ScopedPic pic;
        if (_Pic_Read(cut.c_str(), pic.get(), 0, 0) == 1) {
            EXPECT_EQ(pic->width, 33) << length;
            EXPECT_NE(pic->pixels, nullptr) << length;
        }
    }

    ScopedEnv ceiling("ZARN_MAX_IMAGE_BYTES", "1000");
    ScopedPic pic;
    EXPECT_EQ(_Pic_Read(avif.c_str(), pic.get(), 0, 0), 0);
    EXPECT_EQ(pic->pixels, nullptr);
}

}  // namespace
