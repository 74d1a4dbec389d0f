// The shared thumbnail cache: what we file is found by a second reader of the rules, and what others file by us.
#include "codecs.h"
#include "test_support.h"
#include "thumbnail_md5.h"
#include "thumbnail_picture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

using namespace zarn::test;

namespace {

const std::string kChecker = std::string(ZARN_SOURCE_DIR) + "/tests/imagelib/thumbnail_cache_check.py";

struct Cache {
    std::string root = temp_path("cache");
    ScopedEnv env{"XDG_CACHE_HOME", root.c_str()};
};

std::string checked(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{"python3", kChecker};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const ToolRun run = run_tool(argv);
    if (run.status != 0) return {};
    std::string path(run.output.begin(), run.output.end());
    while (!path.empty() && path.back() == '\n') path.pop_back();
    return path;
}

int thumbnail(const std::string& path, int size, int make, std::string* found = nullptr)
{
    char out[4096];
    const int result = _Pic_Thumbnail(path.c_str(), size, make, out, sizeof out);
    if (found) *found = out;
    return result;
}

void shift_mtime(const std::string& path, long seconds)
{
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const utimbuf times{info.st_atime, info.st_mtime + seconds};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

std::string text_entries(const std::string& png)
{
    const ToolRun run = run_tool({"pngcheck", "-t", png});
    return std::string(run.output.begin(), run.output.end());
}

TEST(ThumbnailCache, NamesFollowTheDigestOfTheUri)
{
    EXPECT_EQ(zarn::md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(zarn::md5_hex("file:///home/jens/photos/me.png"), "c6ee772d9e49320e97ec29a7eb5b1697");
    // Across the 56-byte edge of the last block.
    EXPECT_EQ(zarn::md5_hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
}

TEST(ThumbnailCache, MadeThumbnailReadsByTheRulesAndIsFoundAgain)
{
    Cache cache;
    const std::string folder = temp_path("a b;c#é!$&'()+,=@~");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string picture = folder + "/pic %20.bmp";
    BmpBuilder().size(300, 200).bits(24).pixels(rgb_ramp(300, 200)).write(picture);

    std::string made, found;
    ASSERT_EQ(thumbnail(picture, 128, 1, &made), 1);
    EXPECT_EQ(checked({"check", picture, cache.root, "normal", "128"}), made);
    EXPECT_EQ(thumbnail(picture, 128, 0, &found), 1);
    EXPECT_EQ(found, made);
    // The large size lives apart; a picture smaller than the size is not enlarged.
    ASSERT_EQ(thumbnail(picture, 256, 1), 1);
    EXPECT_NE(checked({"check", picture, cache.root, "large", "256"}), "");
    const std::string small = write_picture("small.bmp", 100, 70);
    ASSERT_EQ(thumbnail(small, 128, 1), 1);
    EXPECT_NE(checked({"check", small, cache.root, "normal", "100"}), "");
    // A changed file makes the entry stale: not found, then made again.
    shift_mtime(picture, 10);
    EXPECT_EQ(thumbnail(picture, 128, 0), 0);
    ASSERT_EQ(thumbnail(picture, 128, 1), 1);
    EXPECT_EQ(checked({"check", picture, cache.root, "normal", "128"}), made);
}

TEST(ThumbnailCache, PeerThumbnailerOutputFiledAsAFileManagerDoesIsFound)
{
    if (!have_program("gdk-pixbuf-thumbnailer")) GTEST_SKIP() << "gdk-pixbuf-thumbnailer not installed";
    Cache cache;
    const std::string picture = write_picture("peer one.bmp", 90, 60);
    const std::string peer = temp_path("peer.png");
    ASSERT_EQ(run_tool({"gdk-pixbuf-thumbnailer", "-s", "128", picture, peer}).status, 0);
    const std::string filed = checked({"adopt", picture, cache.root, "normal", peer});
    ASSERT_NE(filed, "");
    std::string found;
    EXPECT_EQ(thumbnail(picture, 128, 0, &found), 1);
    EXPECT_EQ(found, filed);
    // And the peer reads ours.
    std::string ours;
    ASSERT_EQ(thumbnail(write_picture("ours.bmp", 200, 100), 128, 1, &ours), 1);
    EXPECT_EQ(run_tool({"gdk-pixbuf-thumbnailer", "-s", "64", ours, temp_path("again.png")}).status, 0);
}

TEST(ThumbnailCache, UnreadableFileGetsAFailEntryUntilItChanges)
{
    Cache cache;
    const std::string broken = temp_path("broken.jpg");
    write_file(broken, Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF});
    EXPECT_EQ(thumbnail(broken, 128, 1), 0);
    EXPECT_EQ(thumbnail(broken, 128, 0), 2);
    EXPECT_EQ(thumbnail(broken, 128, 1), 2);
    const std::string fail = cache.root + "/thumbnails/fail/zarn-show/" + zarn::md5_hex("file://" + broken) + ".png";
    struct stat info {};
    ASSERT_EQ(::stat(fail.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(text_entries(fail).find("Thumb::MTime"), std::string::npos);
    shift_mtime(broken, 5);
    EXPECT_EQ(thumbnail(broken, 128, 0), 0);
    // A missing file is no failure of the reader.
    EXPECT_EQ(thumbnail(temp_path("missing.png"), 128, 1), 0);
}

TEST(ThumbnailCache, ScaledJpegIsUprightAndNamesTheWholeSize)
{
    if (!have_image_magick() || !have_program("exiftool")) GTEST_SKIP() << "ImageMagick or exiftool missing";
    Cache cache;
    // Read at a quarter of its size, and at an eighth from the blocks' means.
    for (const auto& [width, height] : {std::pair{640, 400}, std::pair{1280, 800}}) {
        const std::string photo = temp_path("photo" + std::to_string(width) + ".jpg");
        ASSERT_EQ(run_tool({"convert", write_picture("photo.bmp", width, height), photo}).status, 0);
        ASSERT_EQ(run_tool({"exiftool", "-q", "-overwrite_original", "-Orientation#=6", photo}).status, 0);
        std::string made;
        ASSERT_EQ(thumbnail(photo, 128, 1, &made), 1);
        ScopedPic pic;
        ASSERT_EQ(_Pic_Read(made.c_str(), pic.get(), 0, 0), 1);
        EXPECT_EQ(pic->width, 80);
        EXPECT_EQ(pic->height, 128);
        const std::string entries = text_entries(made);
        EXPECT_NE(entries.find("Thumb::Image::Width:\n    " + std::to_string(height)), std::string::npos) << entries;
        EXPECT_NE(entries.find("Thumb::Image::Height:\n    " + std::to_string(width)), std::string::npos) << entries;
    }
}

// A red photo of `width` x `height` whose Exif thumbnail is `thumbnail`, an
// ImageMagick picture description; its orientation is `orientation`.
std::string photo_with_thumbnail(const std::string& name, int width, int height, const std::string& thumbnail,
                                 int orientation = 1)
{
    const std::string photo = temp_path(name + ".jpg"), small = temp_path(name + ".thumb.jpg");
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (run_tool({"convert", "-size", size, "xc:red", photo}).status != 0) return {};
    if (run_tool({"sh", "-c", "convert " + thumbnail + " " + small}).status != 0) return {};
    const ToolRun tagged = run_tool({"exiftool", "-q", "-overwrite_original", "-ThumbnailImage<=" + small,
                                     "-Orientation#=" + std::to_string(orientation), photo});
    return tagged.status == 0 ? photo : std::string();
}

TEST(ThumbnailCache, CameraThumbnailServesWhenItShowsThePicture)
{
    if (!have_image_magick() || !have_program("exiftool")) GTEST_SKIP() << "ImageMagick or exiftool missing";
    Cache cache;
    const auto made = [](const std::string& photo) {
        std::string path;
        EXPECT_EQ(thumbnail(photo, 128, 1, &path), 1) << photo;
        ScopedPic pic;
        EXPECT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1) << path;
        return pic->pixels ? rgb_rows(*pic) : Rows{};
    };
    const auto green = [](const Rows& rows, std::size_t y) { return rows.at(y)[1] > 200 && rows.at(y)[0] < 60; };
    // Same aspect, turned with the picture.
    const Rows same = made(photo_with_thumbnail("same", 1600, 1200, "-size 160x120 xc:lime", 6));
    ASSERT_EQ(same.size(), 128u);
    EXPECT_EQ(same[0].size(), 96u * 3);
    EXPECT_TRUE(green(same, 0) && green(same, 127));
    // Letterboxed by the camera: the bands go.
    const Rows banded = made(photo_with_thumbnail(
        "banded", 1500, 1000, "-size 160x107 xc:lime -background black -gravity center -extent 160x120"));
    ASSERT_GE(banded.size(), 80u);
    EXPECT_TRUE(green(banded, 0) && green(banded, banded.size() - 1));
    // Another aspect without bands is no thumbnail of this picture.
    const Rows other = made(photo_with_thumbnail("other", 1500, 1000, "-size 160x120 xc:lime"));
    ASSERT_EQ(other.size(), 85u);
    EXPECT_GT(other[40][0], 200);
}

TEST(ThumbnailCache, ManyThreadsAtOnce)
{
    Cache cache;
    std::vector<std::string> pictures;
    for (int i = 0; i < 12; ++i) pictures.push_back(write_picture("p" + std::to_string(i) + ".bmp", 150 + i, 90));
    std::atomic<int> made{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t)
        workers.emplace_back([&, t] {
            for (std::size_t i = 0; i < pictures.size(); ++i)
                made += thumbnail(pictures[(i + std::size_t(t)) % pictures.size()], 128, 1) == 1;
        });
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(made.load(), 72);
    for (const std::string& picture : {pictures.front(), pictures.back()})
        EXPECT_NE(checked({"check", picture, cache.root, "normal", "128"}), "");
}

TEST(ThumbnailPicture, AreaAverageWeighsEachSourceByItsShare)
{
    ScopedPic pic;
    // Three grey columns into two: each result takes one and a half of them.
    pic.set(3, 1, 24, {{0, 0, 0, 90, 90, 90, 210, 210, 210}});
    ASSERT_TRUE(zarn::area_reduce(pic.get(), 2, 1));
    EXPECT_EQ(rgb_rows(*pic), (Rows{{30, 30, 30, 170, 170, 170}}));
    // A palette picture comes out as 24-bit means of its colours.
    ScopedPic palette;
    palette.set(2, 2, 8, {{0, 1}, {1, 1}}, Bytes{0, 0, 0, 200, 100, 40});
    ASSERT_TRUE(zarn::area_reduce(palette.get(), 1, 1));
    EXPECT_EQ(palette->bits, 24);
    EXPECT_EQ(rgb_rows(*palette), (Rows{{150, 75, 30}}));
    EXPECT_FALSE(zarn::area_reduce(palette.get(), 2, 1));
}

// An Exif segment whose second directory names a thumbnail at `offset` of `length` bytes, little-endian.
Bytes exif_naming(std::uint32_t offset, std::uint32_t length, std::size_t room)
{
    constexpr std::size_t t = 6;  // the TIFF data after "Exif\0\0"
    Bytes segment(t + 8 + 6 + 2 + 24 + 4 + room, 0);
    segment[0] = 'E', segment[1] = 'x', segment[2] = 'i', segment[3] = 'f';
    segment[t] = segment[t + 1] = 'I';
    put_u16(segment, t + 2, 42);
    put_u32(segment, t + 4, 8);
    put_u16(segment, t + 8, 0);    // IFD0 without entries,
    put_u32(segment, t + 10, 14);  // then IFD1
    put_u16(segment, t + 14, 2);
    put_u16(segment, t + 16, 0x0201), put_u16(segment, t + 18, 4), put_u32(segment, t + 20, 1);
    put_u32(segment, t + 24, offset);
    put_u16(segment, t + 28, 0x0202), put_u16(segment, t + 30, 4), put_u32(segment, t + 32, 1);
    put_u32(segment, t + 36, length);
    return segment;
}

TEST(ThumbnailPicture, CameraThumbnailOutsideItsSegmentIsNone)
{
    EXPECT_EQ(zarn::exif_thumbnail(exif_naming(44, 16, 16)).size(), 16u);
    EXPECT_TRUE(zarn::exif_thumbnail(exif_naming(44, 17, 16)).empty());
    EXPECT_TRUE(zarn::exif_thumbnail(exif_naming(0xFFFFFFF0u, 0x20, 16)).empty());
    Bytes cut = exif_naming(44, 16, 16);
    cut.resize(20);  // IFD1 itself is cut off
    EXPECT_TRUE(zarn::exif_thumbnail(cut).empty());
    // Garbage where the thumbnail should be reads as no thumbnail.
    ScopedPic pic;
    EXPECT_FALSE(zarn::read_embedded_thumbnail(exif_naming(44, 16, 16), {1600, 1200}, 128, pic.get()));
    EXPECT_EQ(pic->pixels, nullptr);
}

TEST(ThumbnailPicture, JpegScaleKeepsTheLongerSideAtTheSize)
{
    EXPECT_EQ(zarn::jpeg_scale_for({4896, 3264}, 128), 3);  // 612 wide at an eighth
    EXPECT_EQ(zarn::jpeg_scale_for({1000, 1200}, 256), 2);  // 300 high at a quarter; an eighth gives 150
    EXPECT_EQ(zarn::jpeg_scale_for({1023, 100}, 128), 3);   // an eighth rounds up to 128
    EXPECT_EQ(zarn::jpeg_scale_for({300, 200}, 256), 0);
}

}  // namespace
