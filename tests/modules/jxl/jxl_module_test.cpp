// JPEG XL files made by cjxl read to djxl's pixels; ours decode in djxl; frames, orientation, colours, damage.
#include "srgb_oracle.h"
#include "colour_profile.h"
#include "exif.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

using namespace zarn::test;

namespace {

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

Bytes pgm(const Rows& grey, int width)
{
    const std::string head = "P5\n" + std::to_string(width) + " " + std::to_string(grey.size()) + "\n255\n";
    Bytes out(head.begin(), head.end());
    for (const Bytes& row : grey) out.insert(out.end(), row.begin(), row.end());
    return out;
}

// The largest difference between two pictures' rows, as RGB.
int difference(PicImage& a, PicImage& b)
{
    return largest_difference(rgb_rows(a), rgb_rows(b));
}

class JxlModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("cjxl") || !have_program("djxl")) GTEST_SKIP() << "cjxl or djxl not installed";
    }

    // cjxl's file of `source` with `options`, or "" when it refused.
    static std::string cjxl(const std::string& source, const std::string& name, std::vector<std::string> options)
    {
        const std::string path = temp_path(name);
        std::vector<std::string> argv{"cjxl", source, path, "--quiet"};
        argv.insert(argv.end(), options.begin(), options.end());
        return run_tool(argv).status == 0 && file_exists(path) ? path : "";
    }

    // What djxl makes of `jxl`, read back through our PNG reader (which
    // rounds 16 bits to 8 and lays alpha over white as ours does). djxl's
    // own 8-bit output of a 16-bit picture is garbled, so it is not asked for.
    static bool djxl(const std::string& jxl, ScopedPic& pic)
    {
        const std::string png = temp_path("djxl.png");
        if (run_tool({"djxl", jxl, png, "--quiet"}).status != 0) return false;
        // djxl writes the file's own colour space, which ours is compared in.
        const ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
        return _Pic_Read(png.c_str(), pic.get(), 0, 0) == 1;
    }
};

TEST_F(JxlModule, CjxlFilesReadToDjxlPixels)
{
    const std::string rgb = temp_path("rgb.ppm"), tiny = temp_path("tiny.ppm"), grey = temp_path("grey.pgm");
    write_file(rgb, ppm(rgb_ramp(33, 17), 33));
    write_file(tiny, ppm(rgb_ramp(1, 1), 1));
    write_file(grey, pgm(ramp(33, 17), 33));
    const std::string deep = temp_path("deep.png"), alpha = temp_path("alpha.png");
    ASSERT_EQ(run_tool({"convert", "-size", "33x17", "gradient:red-blue", "-depth", "16", "png48:" + deep}).status, 0);
    ASSERT_EQ(
        run_tool({"convert", rgb, "-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel", "png32:" + alpha}).status,
        0);
    struct Case {
        std::string source;
        std::vector<std::string> options;
        int bits;
        const char* description;
    };
    for (const Case& c :
         {Case{rgb, {}, 24, "JPEG XL : 33x17 lossy 8-bit"}, Case{tiny, {}, 24, "JPEG XL : 1x1 lossy"},
          Case{tiny, {"-d", "0"}, 24, "JPEG XL : 1x1 8-bit"}, Case{rgb, {"-d", "0"}, 24, "JPEG XL : 33x17 8-bit"},
          Case{rgb, {"--container=1"}, 24, "JPEG XL : 33x17 lossy"}, Case{deep, {}, 24, "JPEG XL : 33x17 lossy 16-bit"},
          Case{deep, {"-d", "0"}, 24, "JPEG XL : 33x17 16-bit"}, Case{grey, {}, 8, "JPEG XL : 33x17 lossy 8-bit"},
          Case{grey, {"-d", "0"}, 8, "JPEG XL : 33x17 8-bit"},
          Case{alpha, {}, 24, "JPEG XL : 33x17 lossy 8-bit alpha"}}) {
        const std::string what = c.source + (c.options.empty() ? "" : " " + c.options[0]);
        const std::string jxl = cjxl(c.source, "peer.jxl", c.options);
        ASSERT_FALSE(jxl.empty()) << what;
        ScopedPic ours, theirs;
        ASSERT_EQ(_Pic_Read(jxl.c_str(), ours.get(), 0, 0), 1) << what;
        ASSERT_TRUE(djxl(jxl, theirs)) << what;
        EXPECT_EQ(ours->bits, c.bits) << what;
        EXPECT_EQ(std::string(ours->description).rfind(c.description, 0), 0u) << what << ": " << ours->description;
        EXPECT_LE(difference(*ours, *theirs), 1) << what;
        // Lossless 8-bit files give back their source exactly.
        if (c.options.size() == 2 && c.source != deep) {
            ScopedPic source;
            ASSERT_EQ(_Pic_Read(c.source.c_str(), source.get(), 0, 0), 1);
            EXPECT_EQ(rgb_rows(*ours), rgb_rows(*source)) << what;
        }
    }
}

TEST_F(JxlModule, CodeStreamAndContainerAreFoundByContent)
{
    const std::string rgb = temp_path("rgb.ppm");
    write_file(rgb, ppm(rgb_ramp(9, 5), 9));
    for (const char* container : {"--container=0", "--container=1"}) {
        const std::string jxl = cjxl(rgb, "peer.jxl", {container});
        ASSERT_FALSE(jxl.empty());
        const std::string dat = temp_path("picture.dat");
        write_file(dat, read_file(jxl));
        EXPECT_EQ(_Pic_Valid(dat.c_str()), 15) << container;
        ScopedPic pic;
        EXPECT_EQ(_Pic_Read(dat.c_str(), pic.get(), 0, 0), 1) << container;
    }
}

TEST_F(JxlModule, OurFilesDecodeInDjxl)
{
    struct Case {
        int bits;
        Rows rows;
        Bytes palette;
        int save_type;
        int peer_bits;  // grey records are written as grey
    };
    const Bytes two_colours{10, 20, 30, 240, 230, 220};
    for (const Case& c :
         {Case{24, rgb_ramp(33, 17), {}, 20, 24}, Case{8, ramp(33, 17), grey_ramp(256), 20, 8},
          Case{1, mono_pattern(33, 17), two_colours, 20, 24}, Case{4, ramp(33, 17, 16), grey_ramp(16), 20, 8},
          Case{24, smooth(33, 17), {}, 19, 24}, Case{8, ramp(33, 17), grey_ramp(256), 19, 8}}) {
        const std::string what = std::to_string(c.bits) + " bits, type " + std::to_string(c.save_type);
        ScopedPic pic;
        pic.set(33, 17, c.bits, c.rows, c.palette);
        std::string path = temp_path("ours.jxl");
        ASSERT_NE(_Pic_Write(path.data(), pic.get(), c.save_type, 0), 0) << what;
        ScopedPic theirs, ours;
        ASSERT_TRUE(djxl(path, theirs)) << what;
        ASSERT_EQ(_Pic_Read(path.c_str(), ours.get(), 0, 0), 1) << what;
        EXPECT_EQ(theirs->bits, c.peer_bits) << what;
        EXPECT_LE(difference(*ours, *theirs), 1) << what;
        if (c.save_type == 20) EXPECT_EQ(rgb_rows(*theirs), rgb_rows(*pic)) << what;
        else EXPECT_LE(difference(*theirs, *pic), 16) << what;
    }
}

TEST_F(JxlModule, AnimationFramesComeRoundWithTheirDelays)
{
    const std::string first = temp_path("first.ppm"), second = temp_path("second.ppm"), gif = temp_path("anim.gif");
    write_file(first, ppm(solid(12, 8, {255, 0, 0}), 12));
    write_file(second, ppm(solid(12, 8, {0, 0, 255}), 12));
    ASSERT_EQ(run_tool({"convert", "-delay", "10", first, "-delay", "25", second, "-loop", "0", gif}).status, 0);
    const std::string jxl = cjxl(gif, "anim.jxl", {"-d", "0"});
    if (jxl.empty()) GTEST_SKIP() << "cjxl takes no animated GIF";

    ScopedPic still;
    ASSERT_EQ(_Pic_Read(jxl.c_str(), still.get(), 0, 0), 1);
    EXPECT_NE(std::string(still->description).find("animated"), std::string::npos) << still->description;
    EXPECT_EQ(rgb_rows(*still), solid(12, 8, {255, 0, 0}));

    PicFrames* frames = _Pic_FramesOpen(jxl.c_str());
    ASSERT_NE(frames, nullptr);
    const std::vector<std::pair<Bytes, int>> expected{{{255, 0, 0}, 100}, {{0, 0, 255}, 250}, {{255, 0, 0}, 100}};
    for (const auto& [colour, delay] : expected) {
        ScopedPic frame;
        std::int32_t delay_ms = -1;
        ASSERT_EQ(_Pic_FramesNext(frames, frame.get(), &delay_ms), 1) << delay;
        EXPECT_EQ(frame->bits, 24);
        EXPECT_EQ(rgb_rows(*frame), solid(12, 8, colour));
        EXPECT_EQ(delay_ms, delay);
    }
    _Pic_FramesClose(frames);
    // A still picture is no animation.
    const std::string rgb = temp_path("rgb.ppm");
    write_file(rgb, ppm(rgb_ramp(9, 5), 9));
    EXPECT_EQ(_Pic_FramesOpen(cjxl(rgb, "still.jxl", {}).c_str()), nullptr);
}

// cjxl cannot mark a file's orientation, so libjxl's encoder writes one that
// must be turned a quarter clockwise to stand upright.
TEST_F(JxlModule, OrientationIsAppliedUnlessKept)
{
    const Rows stored = rgb_ramp(5, 3);
    Bytes samples;
    for (const Bytes& row : stored) samples.insert(samples.end(), row.begin(), row.end());
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = 5;
    info.ysize = 3;
    info.bits_per_sample = 8;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = JXL_ORIENT_ROTATE_90_CW;
    JxlColorEncoding srgb{};
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    ASSERT_EQ(JxlEncoderSetBasicInfo(encoder.get(), &info), JXL_ENC_SUCCESS);
    ASSERT_EQ(JxlEncoderSetColorEncoding(encoder.get(), &srgb), JXL_ENC_SUCCESS);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    ASSERT_EQ(JxlEncoderSetFrameLossless(settings, JXL_TRUE), JXL_ENC_SUCCESS);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    ASSERT_EQ(JxlEncoderAddImageFrame(settings, &format, samples.data(), samples.size()), JXL_ENC_SUCCESS);
    JxlEncoderCloseInput(encoder.get());
    Bytes file(4096);
    std::uint8_t* next = file.data();
    std::size_t room = file.size();
    ASSERT_EQ(JxlEncoderProcessOutput(encoder.get(), &next, &room), JXL_ENC_SUCCESS);
    file.resize(file.size() - room);
    const std::string path = temp_path("turned.jxl");
    write_file(path, file);

    ScopedPic upright, theirs;
    ASSERT_EQ(_Pic_Read(path.c_str(), upright.get(), 0, 0), 1);
    ASSERT_TRUE(djxl(path, theirs));
    EXPECT_EQ(upright->width, 3);
    EXPECT_EQ(upright->height, 5);
    EXPECT_EQ(rgb_rows(*upright), rgb_rows(*theirs));

    zarn::set_keep_stored_orientation(true);
    ScopedPic kept;
    const int read = _Pic_Read(path.c_str(), kept.get(), 0, 0);
    zarn::set_keep_stored_orientation(false);
    ASSERT_EQ(read, 1);
    EXPECT_EQ(rgb_rows(*kept), stored);
}

// A PNG tagged Display P3 becomes a lossless file that keeps its profile,
// turned into sRGB here by lcms2, and a lossy one in the codec's own space
// that names P3, turned by libjxl; both read as lcms2 turns the stored
// pixels and say so. An untagged file, and kept colours, read as stored.
TEST_F(JxlModule, TaggedColoursAreTurnedIntoSrgb)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick's convert not installed";
    const std::string source = temp_path("source.ppm"), tagged = temp_path("tagged.png"), icc = temp_path("p3.icc");
    // Colours well inside sRGB: near its edge, the 8-bit P3 pixels the
    // oracle starts from lose too much for the lossy case.
    Rows pastel(17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            pastel[std::size_t(y)].insert(
                pastel[std::size_t(y)].end(),
                {std::uint8_t(70 + x * 4), std::uint8_t(190 - y * 5), std::uint8_t(90 + x + y)});
    write_file(source, ppm(pastel, 33));
    const std::vector<std::uint8_t> p3 = zarn::profile_from_cicp(12, 13);
    write_file(icc, Bytes(p3.begin(), p3.end()));
    ASSERT_EQ(run_tool({"convert", source, "-profile", icc, tagged}).status, 0);
    struct Case {
        std::string source;
        const char* distance;
        const char* ending;
        int within;
    };
    for (const Case& c : {Case{tagged, "0", "8-bit - Display P3", 2}, Case{tagged, "1", "8-bit - Display P3", 3},
                          Case{source, "0", "8-bit", 0}}) {
        SCOPED_TRACE(c.source + " -d " + c.distance);
        const std::string jxl = cjxl(c.source, "tagged.jxl", {"-d", c.distance});
        ASSERT_FALSE(jxl.empty());
        ScopedPic stored, ours;
        {
            ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
            ASSERT_EQ(_Pic_Read(jxl.c_str(), stored.get(), 0, 0), 1);
        }
        EXPECT_TRUE(std::string(stored->description).ends_with("8-bit")) << stored->description;
        ASSERT_EQ(_Pic_Read(jxl.c_str(), ours.get(), 0, 0), 1);
        EXPECT_TRUE(std::string(ours->description).ends_with(c.ending)) << ours->description;
        const Rows expected = c.within ? lcms_to_srgb(rgb_rows(*stored), p3) : pastel;
        EXPECT_LE(largest_difference(rgb_rows(*ours), expected), c.within);
        if (c.within) {
            EXPECT_GT(largest_difference(rgb_rows(*ours), rgb_rows(*stored)), 8);
        }
    }
}

TEST_F(JxlModule, DamagedOrOversizedFilesAreRefusedOrReadCleanly)
{
    const std::string rgb = temp_path("rgb.ppm");
    write_file(rgb, ppm(rgb_ramp(33, 17), 33));
    for (const char* distance : {"1", "0"}) {
        const Bytes whole = read_file(cjxl(rgb, "peer.jxl", {"-d", distance}));
        ASSERT_GT(whole.size(), 20u);
        const std::string cut = temp_path("cut.jxl");
        for (std::size_t length = 0; length < whole.size(); length += 7) {
            write_file(cut, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
            ScopedPic pic;
            const int read = _Pic_Read(cut.c_str(), pic.get(), 0, 0);
            EXPECT_TRUE(read == 0 || (pic->pixels && pic->width == 33)) << length;
        }
        // Flipped bits past the header: refused or a whole picture, never a crash.
        for (std::size_t at = 8; at < whole.size(); at += 11) {
            Bytes damaged = whole;
            damaged[at] ^= 0x5A;
            write_file(cut, damaged);
            ScopedPic pic;
            const int read = _Pic_Read(cut.c_str(), pic.get(), 0, 0);
            EXPECT_TRUE(read == 0 || pic->pixels) << at;
        }
    }
    // 33 x 17 x 3 bytes pass a ceiling of 1000.
    const std::string jxl = cjxl(rgb, "peer.jxl", {});
    ScopedEnv ceiling("ZARN_MAX_IMAGE_BYTES", "1000");
    ScopedPic pic;
    EXPECT_EQ(_Pic_Read(jxl.c_str(), pic.get(), 0, 0), 0);
    EXPECT_EQ(pic->pixels, nullptr);
}

}  // namespace
