// The metadata module as its hosts call it: the panel's entries against exiftool's reading, copies into
// targets exiv2 can and cannot write, and damaged files that must give nothing and touch nothing.
#include "photo_builder.h"
#include "srgb_oracle.h"
#include "zarnmeta.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

using namespace zarn::test;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries describe(const std::string& path)
{
    const std::size_t needed = _Meta_Describe(path.c_str(), nullptr, 0);
    std::string text(needed + 1, '\0');
    EXPECT_EQ(_Meta_Describe(path.c_str(), text.data(), text.size()), needed);
    text.resize(needed);
    Entries entries;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::size_t tab = text.find('\t', at);
        if (end == std::string::npos || tab == std::string::npos || tab > end) {
            ADD_FAILURE() << "not a label and value line: " << text.substr(at);
            break;
        }
        entries.emplace_back(text.substr(at, tab - at), text.substr(tab + 1, end - tab - 1));
        at = end + 1;
    }
    return entries;
}

std::string value(const Entries& entries, const std::string& label)
{
    for (const auto& [name, text] : entries)
        if (name == label) return text;
    return {};
}

bool attach_profile(const std::string& path, const Bytes& icc)
{
    const std::string profile = temp_path("attached.icc");
    write_file(profile, icc);
    return run_tool({"exiftool", "-q", "-overwrite_original", "-icc_profile<=" + profile, path}).status == 0;
}

TEST(MetaDescribe, PhotoGivesWhatExiftoolReadsInThePanelsOrder)
{
    REQUIRE_PHOTO_TOOLS();
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    ASSERT_TRUE(attach_profile(photo, adobe_rgb_profile()));
    const auto tags = exiftool_tags(photo);
    const Entries entries = describe(photo);

    std::vector<std::string> labels;
    for (const auto& entry : entries) labels.push_back(entry.first);
    EXPECT_EQ(labels,
              (std::vector<std::string>{"Date taken", "Camera", "Lens", "Exposure", "F-number", "ISO", "Focal length",
                                        "Flash", "Orientation", "GPS position", "Colour profile"}));
    std::string date = tags.at("DateTimeOriginal");
    date[4] = date[7] = '-';
    EXPECT_EQ(value(entries, "Date taken"), date);
    EXPECT_EQ(value(entries, "Camera"), tags.at("Model"));  // the model already names the make
    EXPECT_EQ(value(entries, "Lens"), tags.at("LensModel"));
    EXPECT_EQ(value(entries, "Exposure"),
              "1/" + std::to_string(int(1 / std::stod(tags.at("ExposureTime")) + 0.5)) + " s");
    EXPECT_EQ(value(entries, "F-number"), "f/" + tags.at("FNumber"));
    EXPECT_EQ(value(entries, "ISO"), tags.at("ISO"));
    EXPECT_EQ(value(entries, "Focal length"),
              tags.at("FocalLength") + " mm (" + tags.at("FocalLengthIn35mmFormat") + " mm in 35 mm)");
    EXPECT_EQ(value(entries, "Colour profile"), tags.at("ProfileDescription"));

    double latitude = 0, longitude = 0;
    char north = 0, east = 0;
    ASSERT_EQ(std::sscanf(value(entries, "GPS position").c_str(), "%lf\u00b0 %c, %lf\u00b0 %c", &latitude, &north,
                          &longitude, &east),
              4);
    EXPECT_NEAR(latitude, std::stod(tags.at("GPSLatitude")), 1e-6);
    EXPECT_NEAR(longitude, std::stod(tags.at("GPSLongitude")), 1e-6);
    EXPECT_EQ(north, 'N');
    EXPECT_EQ(east, 'E');

    // A short buffer gets the start of the text, terminated, and the whole length.
    char small[8];
    EXPECT_GT(_Meta_Describe(photo.c_str(), small, sizeof small), sizeof small);
    EXPECT_EQ(std::string(small), "Date ta");
}

TEST(MetaCopy, FormatsExivCannotWriteAndBareSourcesLeaveTheTargetAsItWas)
{
    REQUIRE_PHOTO_TOOLS();
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    const std::string bmp = write_picture("target.bmp", 8, 6);
    const Bytes before = read_file(bmp);
    EXPECT_EQ(_Meta_Copy(photo.c_str(), bmp.c_str(), 8, 6, ZARN_META_WITH_PROFILE), 0);
    EXPECT_EQ(read_file(bmp), before);

    const std::string bare = temp_path("bare.jpg"), target = temp_path("target.jpg");
    ASSERT_EQ(run_tool({"convert", bmp, bare}).status, 0);
    ASSERT_EQ(run_tool({"convert", bmp, target}).status, 0);
    const Bytes target_before = read_file(target);
    EXPECT_EQ(_Meta_Copy(bare.c_str(), target.c_str(), 8, 6, 0), 0);
    EXPECT_EQ(read_file(target), target_before);
    for (const std::string& entry : folder_entries(temp_dir()))
        EXPECT_FALSE(entry.starts_with(".target")) << "a temporary copy is left: " << entry;

    // Copying a photo's metadata onto itself still turns it upright.
    ASSERT_EQ(_Meta_Copy(photo.c_str(), photo.c_str(), 48, 64, 0), 1);
    const auto tags = exiftool_tags(photo);
    EXPECT_EQ(tags.at("Orientation"), "1");
    EXPECT_EQ(tags.at("Make"), "Acme");
    EXPECT_EQ(tags.count("ThumbnailLength"), 0u);
}

// A TIFF source's own layout tags would describe the wrong pixels in a
// TIFF target of another size and kind; the target keeps its own.
TEST(MetaCopy, TiffToTiffKeepsTheTargetsLayout)
{
    REQUIRE_PHOTO_TOOLS();
    if (!have_program("tiffinfo")) GTEST_SKIP() << "tiffinfo missing";
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    const std::string source = temp_path("source.tif"), target = temp_path("target.tif");
    ASSERT_EQ(run_tool({"convert", photo, "-compress", "lzw", source}).status, 0);
    ASSERT_EQ(run_tool({"exiftool", "-q", "-overwrite_original", "-tagsFromFile", photo, "-all:all", source}).status,
              0);
    ASSERT_EQ(run_tool({"convert", "-size", "30x20", "gradient:", "-type", "Grayscale", target}).status, 0);

    ASSERT_EQ(_Meta_Copy(source.c_str(), target.c_str(), 30, 20, 0), 1);
    EXPECT_EQ(run_tool({"tiffinfo", target}).status, 0);
    const ToolRun size = run_tool({"identify", "-format", "%w %h %[channels]", target});
    EXPECT_EQ(std::string(size.output.begin(), size.output.end()).substr(0, 5), "30 20");
    const auto tags = exiftool_tags(target);
    EXPECT_EQ(tags.at("Make"), "Acme");
    EXPECT_EQ(tags.at("ExifImageWidth"), "30");
    ScopedPic pic;
    EXPECT_EQ(_Pic_Read(target.c_str(), pic.get(), 0, 0), 1);
    EXPECT_EQ(pic->width, 30);
}

TEST(MetaHostile, DamagedFilesGiveNothingWrongAndTouchNoTarget)
{
    REQUIRE_PHOTO_TOOLS();
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    const Bytes whole = read_file(photo);
    std::vector<Bytes> damaged;
    for (const std::size_t keep : {std::size_t(2), std::size_t(20), std::size_t(200), whole.size() / 2})
        damaged.emplace_back(whole.begin(), whole.begin() + std::ptrdiff_t(keep));
    Bytes scrambled = whole;  // the EXIF block's offsets and counts overwritten
    std::srand(7);
    for (std::size_t at = 20; at < 600 && at < scrambled.size(); at += 3) scrambled[at] = std::uint8_t(std::rand());
    damaged.push_back(scrambled);
    damaged.push_back(Bytes{});

    const std::string target = temp_path("target.jpg");
    ASSERT_EQ(run_tool({"convert", "-size", "8x8", "xc:red", target}).status, 0);
    const Bytes target_before = read_file(target);
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE("damaged file " + std::to_string(i));
        const std::string path = temp_path("damaged" + std::to_string(i) + ".jpg");
        write_file(path, damaged[i]);
        describe(path);
        if (_Meta_Copy(path.c_str(), target.c_str(), 8, 8, ZARN_META_WITH_PROFILE) == 0) {
            EXPECT_EQ(read_file(target), target_before);
        }
        // Damaged targets are never replaced by a half-written copy.
        const bool copied = _Meta_Copy(photo.c_str(), path.c_str(), 8, 8, 0) != 0;
        EXPECT_EQ(copied, read_file(path) != damaged[i]);
    }
    EXPECT_EQ(_Meta_Describe(temp_dir().c_str(), nullptr, 0), 0u);
    EXPECT_EQ(_Meta_Describe("/nonexistent/photo.jpg", nullptr, 0), 0u);
    EXPECT_EQ(_Meta_Copy(nullptr, target.c_str(), 1, 1, 0), 0);
}

}  // namespace
