// zarnconv carrying a photo's metadata into what it writes, judged by exiftool: kept by default, none with
// --strip, and the colour profile and orientation as stored with --keep-colours and --keep-orientation.
#include "photo_builder.h"
#include "srgb_oracle.h"

#include <gtest/gtest.h>

using namespace zarn::test;

namespace {

int zarnconv(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), std::string(ZARN_BIN_DIR) + "/zarnconv");
    return run_tool(arguments).status;
}

std::string tag(const std::map<std::string, std::string>& tags, const std::string& name)
{
    const auto found = tags.find(name);
    return found == tags.end() ? std::string() : found->second;
}

TEST(ZarnconvMetadata, ConvertedPhotosKeepDateCameraAndPlaceUprightWithoutThumbnail)
{
    REQUIRE_PHOTO_TOOLS();
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    std::vector<std::string> extensions{".jpg", ".png", ".tif"};
    if (file_exists(std::string(ZARN_BIN_DIR) + "/libzarnwebp.so")) extensions.push_back(".webp");
    for (const std::string& extension : extensions) {
        SCOPED_TRACE(extension);
        const std::string out = temp_path("out" + extension);
        ASSERT_EQ(zarnconv({"-q", photo, out}), 0);
        const auto tags = exiftool_tags(out);
        EXPECT_EQ(tag(tags, "DateTimeOriginal"), "2024:05:01 12:34:56");
        EXPECT_EQ(tag(tags, "Make"), "Acme");
        EXPECT_EQ(tag(tags, "Model"), "Acme Shooter 5");
        EXPECT_EQ(tag(tags, "GPSLatitude").substr(0, 8), "48.85837");
        EXPECT_EQ(tag(tags, "Title"), "Tower");
        EXPECT_TRUE(tag(tags, "Orientation").empty() || tag(tags, "Orientation") == "1") << tag(tags, "Orientation");
        // Turned upright by orientation 6, the picture is 48x64.
        EXPECT_EQ(tag(tags, "ExifImageWidth"), "48");
        EXPECT_EQ(tag(tags, "ExifImageHeight"), "64");
        EXPECT_EQ(tag(tags, "ThumbnailLength"), "");
        // The file still reads, here and in the peer.
        EXPECT_EQ(zarnconv({"-q", out, temp_path("back" + extension + ".bmp")}), 0);
        const ToolRun size = run_tool({"identify", "-format", "%w %h", out});
        EXPECT_EQ(std::string(size.output.begin(), size.output.end()), "48 64");
    }
}

TEST(ZarnconvMetadata, StripWritesNoneOfIt)
{
    REQUIRE_PHOTO_TOOLS();
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    for (const std::string extension : {".jpg", ".png"}) {
        const std::string out = temp_path("out" + extension);
        ASSERT_EQ(zarnconv({"-q", "--strip", photo, out}), 0);
        const auto tags = exiftool_tags(out);
        for (const char* name : {"DateTimeOriginal", "Make", "GPSLatitude", "Title", "ExifImageWidth"})
            EXPECT_EQ(tags.count(name), 0u) << extension << " has " << name;
    }
}

TEST(ZarnconvMetadata, KeptColoursAndOrientationTravelWithThePixelsAsStored)
{
    REQUIRE_PHOTO_TOOLS();
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    const std::string profile = temp_path("wide.icc");
    write_file(profile, adobe_rgb_profile());
    ASSERT_EQ(run_tool({"exiftool", "-q", "-overwrite_original", "-icc_profile<=" + profile, photo}).status, 0);

    const std::string kept = temp_path("kept.png"), converted = temp_path("converted.png");
    ASSERT_EQ(zarnconv({"-q", "--keep-colours", "--keep-orientation", photo, kept}), 0);
    ASSERT_EQ(zarnconv({"-q", photo, converted}), 0);
    const auto kept_tags = exiftool_tags(kept);
    EXPECT_EQ(tag(kept_tags, "ProfileDescription"), "Adobe RGB (1998)");
    EXPECT_EQ(tag(kept_tags, "Orientation"), "6");
    EXPECT_EQ(tag(kept_tags, "ExifImageWidth"), "64");
    EXPECT_NE(tag(exiftool_tags(converted), "ProfileDescription"), "Adobe RGB (1998)");
}

}  // namespace
