// The WebP module's ICCP chunk, stills and animation frames, against lcms2's own conversion.
#include "srgb_oracle.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;

namespace {

bool shell(const std::string& command)
{
    return run_tool({"sh", "-c", command + " 2>/dev/null"}).status == 0;
}

Bytes flat(const Rows& rows)
{
    Bytes out;
    for (const Bytes& row : rows) out.insert(out.end(), row.begin(), row.end());
    return out;
}

int gap(const Bytes& a, const Bytes& b)
{
    return largest_difference(Rows{a}, Rows{b});
}

// `webp` with `icc` set as its ICCP chunk, in a new file.
std::string tagged(const std::string& webp, const Bytes& icc, const std::string& name)
{
    const std::string profile = temp_path(name + ".icc"), out = temp_path(name);
    write_file(profile, icc);
    return shell("webpmux -set icc " + profile + " " + webp + " -o " + out) ? out : std::string();
}

TEST(WebpColours, StillsAndFramesTurnIntoSrgb)
{
    if (!have_program("cwebp") || !have_program("img2webp") || !have_program("webpmux"))
        GTEST_SKIP() << "cwebp, img2webp or webpmux missing";
    const Rows first = noise_rows(16, 4, 3, 11), second = noise_rows(16, 4, 3, 12);
    const std::string one = temp_path("one.ppm"), two = temp_path("two.ppm");
    write_file(one, ppm(first, 16));
    write_file(two, ppm(second, 16));
    const std::string still = temp_path("still.webp"), animation = temp_path("animation.webp");
    ASSERT_TRUE(shell("cwebp -quiet -lossless " + one + " -o " + still));
    ASSERT_TRUE(shell("img2webp -lossless " + one + " " + two + " -o " + animation));
    const Bytes p3 = zarn::profile_from_cicp(12, 13);

    ScopedPic pic;
    ASSERT_EQ(_Pic_Read(tagged(still, p3, "p3.webp").c_str(), pic.get(), 0, 0), 1);
    EXPECT_LE(gap(flat(pixel_rows(*pic)), lcms_to_srgb(p3, flat(first))), 2);
    EXPECT_NE(flat(pixel_rows(*pic)), flat(first));
    EXPECT_STREQ(pic->description, "WebP : 16x4 lossless - Display P3");

    PicFrames* frames = _Pic_FramesOpen(tagged(animation, p3, "p3-animation.webp").c_str());
    ASSERT_NE(frames, nullptr);
    std::int32_t delay = 0;
    for (const Rows* expected : {&first, &second}) {
        ASSERT_EQ(_Pic_FramesNext(frames, pic.get(), &delay), 1);
        EXPECT_LE(gap(flat(pixel_rows(*pic)), lcms_to_srgb(p3, flat(*expected))), 2);
    }
    _Pic_FramesClose(frames);

    // A broken profile, or profiles kept as stored, leave the pixels alone.
    ASSERT_EQ(_Pic_Read(tagged(still, broken(p3), "broken.webp").c_str(), pic.get(), 0, 0), 1);
    EXPECT_EQ(pixel_rows(*pic), first);
    EXPECT_STREQ(pic->description, "WebP : 16x4 lossless");
    const ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
    ASSERT_EQ(_Pic_Read(tagged(animation, p3, "kept.webp").c_str(), pic.get(), 0, 0), 1);
    EXPECT_EQ(pixel_rows(*pic), first);
    EXPECT_STREQ(pic->description, "WebP : 16x4 lossless animated");
}

}  // namespace
