// A camera photo made in the test: a JPEG tagged by exiftool with a date, a camera, a lens, exposure, GPS, an
// orientation and a thumbnail; and exiftool's reading of any file, the oracle for what metadata it carries.
#pragma once

#include "test_support.h"

#include <map>
#include <string>

namespace zarn::test {

inline bool have_photo_tools()
{
    return have_program("exiftool") && have_image_magick();
}
#define REQUIRE_PHOTO_TOOLS() \
    if (!zarn::test::have_photo_tools()) GTEST_SKIP() << "exiftool or ImageMagick missing"

// exiftool's tags of `path` by name, numbers as numbers (-n); the first
// group's value when a name repeats.
inline std::map<std::string, std::string> exiftool_tags(const std::string& path)
{
    const ToolRun run = run_tool({"exiftool", "-s2", "-n", "-a", "--File:all", "--ExifTool:all", path});
    std::map<std::string, std::string> tags;
    const std::string text(run.output.begin(), run.output.end());
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) tags.emplace(line.substr(0, colon), line.substr(colon + 2));
        at = end + 1;
    }
    return tags;
}

// A 64x48 JPEG photo as a camera would tag it, turned by orientation 6
// (its upright picture is 48x64), with a 16x12 EXIF thumbnail.
inline std::string write_photo(const std::string& name)
{
    const std::string bmp = write_picture(name + ".bmp", 64, 48);
    const std::string photo = temp_path(name);
    const std::string thumb = temp_path(name + ".thumb.jpg");
    if (run_tool({"convert", bmp, photo}).status != 0) return {};
    if (run_tool({"convert", bmp, "-resize", "16x12", thumb}).status != 0) return {};
    const ToolRun tagged = run_tool({"exiftool",
                                     "-q",
                                     "-overwrite_original",
                                     "-DateTimeOriginal=2024:05:01 12:34:56",
                                     "-Make=Acme",
                                     "-Model=Acme Shooter 5",
                                     "-LensModel=Acme 4.2mm f/2.8",
                                     "-ExposureTime=0.004",
                                     "-FNumber=2.8",
                                     "-ISO=200",
                                     "-FocalLength=4.2",
                                     "-FocalLengthIn35mmFormat=26",
                                     "-ExifIFD:Flash#=16",
                                     "-Orientation#=6",
                                     "-GPSLatitude=48.858370",
                                     "-GPSLatitudeRef=N",
                                     "-GPSLongitude=2.294481",
                                     "-GPSLongitudeRef=E",
                                     "-XMP-dc:Title=Tower",
                                     "-ThumbnailImage<=" + thumb,
                                     photo});
    return tagged.status == 0 ? photo : std::string();
}

}  // namespace zarn::test
