// The zarnconv program run as a user would: real files in, real files and exit codes out.
#include <gtest/gtest.h>

#include "support/gif_builder.h"
#include "support/test_support.h"

#include <filesystem>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace zarn::test;

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs zarnconv with standard output and error captured in files of the
// test's folder; the environment (TMPDIR, XDG_*) is the test's own.
Outcome zarnconv(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv_text{std::string(ZARN_BIN_DIR) + "/zarnconv"};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argv_text) argv.push_back(text.data());
    argv.push_back(nullptr);

    const std::string out_path = temp_path("zarnconv.out"), err_path = temp_path("zarnconv.err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    Outcome run;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int wait_status = 0;
        if (waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) run.status = WEXITSTATUS(wait_status);
    }
    posix_spawn_file_actions_destroy(&actions);
    const Bytes out = read_file(out_path), err = read_file(err_path);
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

// Writes a 24-bit BMP of a ramp that differs in every pixel and channel.
std::string make_bmp(const std::string& name, int width, int height)
{
    const std::string path = temp_path(name);
    BmpBuilder().size(width, height).bits(24).pixels(rgb_ramp(width, height)).write(path);
    return path;
}

// Headers may differ (file size, resolution); the pixel data may not.
void expect_same_pixels(const std::string& expected_path, const std::string& actual_path)
{
    ASSERT_TRUE(file_exists(actual_path)) << actual_path;
    const Bytes expected = read_file(expected_path), actual = read_file(actual_path);
    ASSERT_GE(actual.size(), 54u);
    for (std::size_t field : {18u, 22u})
        EXPECT_EQ(get_u32(actual, field), get_u32(expected, field)) << "width or height, " << actual_path;
    EXPECT_EQ(get_u16(actual, 28), 24) << actual_path;
    const Bytes expected_pixels(expected.begin() + get_u32(expected, 10), expected.end());
    const Bytes actual_pixels(actual.begin() + std::min<std::size_t>(get_u32(actual, 10), actual.size()), actual.end());
    EXPECT_EQ(actual_pixels, expected_pixels) << actual_path;
}

TEST(ZarnconvConvert, BmpToBmpKeepsEveryPixelAtEveryRowPadding)
{
    for (const auto& [width, height] : {std::pair{1, 1}, {2, 2}, {3, 1}, {4, 2}, {5, 3}}) {
        const std::string name = std::to_string(width) + "x" + std::to_string(height);
        const std::string input = make_bmp(name + ".bmp", width, height);
        const std::string output = temp_path(name + "-out.bmp");
        const Outcome run = zarnconv({input, output});
        EXPECT_EQ(run.status, 0) << run.err;
        expect_same_pixels(input, output);
    }
}

TEST(ZarnconvConvert, TypeComesFromTheExtensionAndTheLibrarysNameIsReported)
{
    const std::string input = make_bmp("in.bmp", 3, 2);
    const Outcome run = zarnconv({input, temp_path("upper.BMP")});
    EXPECT_EQ(run.status, 0) << run.err;
    expect_same_pixels(input, temp_path("upper.bmp"));
    EXPECT_NE(run.err.find("upper.bmp"), std::string::npos) << run.err;

    const Outcome quiet = zarnconv({"-q", input, temp_path("quiet.BMP")});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
}

TEST(ZarnconvConvert, TypeOptionOverridesTheExtension)
{
    const std::string input = make_bmp("in.bmp", 2, 3);
    for (const char* type : {"1", "bmp"}) {
        const std::string requested = temp_path(std::string("by-") + type + ".png");
        const std::string written = temp_path(std::string("by-") + type + ".bmp");
        const Outcome run = zarnconv({"--type", type, input, requested});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_FALSE(file_exists(requested));
        expect_same_pixels(input, written);
        EXPECT_NE(run.err.find(written), std::string::npos) << run.err;
    }
}

TEST(ZarnconvConvert, SeveralInputsGoIntoAFolderOnParallelThreads)
{
    std::vector<std::string> arguments{"-j", "2", "--type", "bmp"};
    for (int i = 1; i <= 6; ++i) arguments.push_back(make_bmp("in" + std::to_string(i) + ".bmp", i, 7 - i));
    const std::string folder = temp_path("made/by/zarnconv/");
    arguments.push_back(folder);

    const Outcome run = zarnconv(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    for (int i = 1; i <= 6; ++i)
        expect_same_pixels(arguments[std::size_t(3 + i)], folder + "in" + std::to_string(i) + ".bmp");
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << "no progress bar when standard error is no terminal";

    const Outcome untyped = zarnconv({arguments[4], arguments[5], folder});
    EXPECT_NE(untyped.status, 0);
    EXPECT_NE(untyped.err.find("--type"), std::string::npos) << untyped.err;
}

TEST(ZarnconvFailure, OneBadInputAmongSeveralFailsOnlyItself)
{
    const std::string good = make_bmp("good.bmp", 2, 2);
    const std::string missing = temp_path("missing.bmp");
    const std::string folder = temp_path("out/");
    const Outcome run = zarnconv({"-t", "1", missing, good, folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot read '" + missing + "'"), std::string::npos) << run.err;
    expect_same_pixels(good, folder + "good.bmp");
}

TEST(ZarnconvFailure, MissingOrUnrecognisedInputIsReported)
{
    const Outcome missing = zarnconv({temp_path("nowhere.bmp"), temp_path("out.bmp")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nowhere.bmp"), std::string::npos) << missing.err;
    EXPECT_FALSE(file_exists(temp_path("out.bmp")));

    const std::string text = temp_path("notes.txt");
    write_file(text, Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    const Outcome unrecognised = zarnconv({text, temp_path("out.bmp")});
    EXPECT_EQ(unrecognised.status, 1);
    EXPECT_NE(unrecognised.err.find("not a recognised image"), std::string::npos) << unrecognised.err;

    // Claims to be a bitmap by name and signature, but the header is cut short.
    const std::string broken = temp_path("broken.bmp");
    write_file(broken, Bytes{'B', 'M', 0, 0});
    const Outcome unreadable = zarnconv({broken, temp_path("out.bmp")});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_NE(unreadable.err.find("cannot read"), std::string::npos) << unreadable.err;
    EXPECT_NE(unreadable.err.find(": file truncated\n"), std::string::npos) << unreadable.err;
}

// A greymap whose rows stop early is still converted, its missing rows
// filled in, with a warning.
TEST(ZarnconvFailure, AShortFileIsConvertedWithAWarning)
{
    const std::string input = temp_path("short.pgm");
    const std::string pgm = "P5\n4 4\n255\nabcdef";
    write_file(input, Bytes(pgm.begin(), pgm.end()));
    const Outcome run = zarnconv({input, temp_path("filled.bmp")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: '" + input + "': file truncated, the rest filled in"), std::string::npos)
        << run.err;
    EXPECT_TRUE(file_exists(temp_path("filled.bmp")));
}

// A GIF whose LZW code size is 12 and a greymap with a word for a sample:
// the readers refuse them, and that is what the user is told.
TEST(ZarnconvFailure, FilesTheReadersRefuseAreReportedAsUnreadable)
{
    const std::string gif = temp_path("wide-codes.gif");
    GifBuilder().size(2, 2).global_table(grey_ramp(4), 1).code_size(12).pixels({{0, 1}, {2, 3}}).write(gif);
    const std::string pgm = temp_path("word.pgm");
    const std::string text = "P2\n2 1\n255\n7 seven\n";
    write_file(pgm, Bytes(text.begin(), text.end()));
    for (const std::string& input : {gif, pgm}) {
        const Outcome run = zarnconv({input, temp_path("o.bmp")});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("cannot read '" + input + "'"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("cannot write"), std::string::npos) << run.err;
    }
}

// Nothing the user passed as an input is ever written: every job whose
// output is an input, or another job's output, is refused, naming both.
TEST(ZarnconvFailure, OutputsThatWouldReplaceAnInputAreRefused)
{
    const std::string folder = temp_path("pictures/");
    std::filesystem::create_directory(folder);
    const std::string gif = folder + "a.gif", bmp = make_bmp("pictures/a.bmp", 3, 2), other = make_bmp("c.bmp", 2, 2);
    GifBuilder().size(2, 1).global_table(grey_ramp(4), 1).code_size(2).pixels({{0, 3}}).write(gif);
    std::filesystem::create_symlink("a.gif", folder + "link.gif");
    const Bytes gif_bytes = read_file(gif), bmp_bytes = read_file(bmp);

    const Outcome batch = zarnconv({"--type", "1", gif, bmp, other, temp_path("pictures/./")});
    EXPECT_EQ(batch.status, 1);
    for (const std::string& input : {gif, bmp})
        EXPECT_NE(batch.err.find("skipping '" + input + "'"), std::string::npos) << batch.err;
    EXPECT_NE(batch.err.find("would replace the input '" + bmp + "'"), std::string::npos) << batch.err;
    expect_same_pixels(other, folder + "c.bmp");  // collides with nothing

    const Outcome linked = zarnconv({gif, folder + "link.gif"});
    EXPECT_EQ(linked.status, 1);
    EXPECT_NE(linked.err.find("'" + folder + "link.gif' would replace the input '" + gif + "'"), std::string::npos)
        << linked.err;
    EXPECT_EQ(read_file(gif), gif_bytes);
    EXPECT_EQ(read_file(bmp), bmp_bytes);
}

TEST(ZarnconvFailure, UnknownTypesAndBadOptionsAreRefused)
{
    const std::string input = make_bmp("in.bmp", 1, 1);
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {input, temp_path("out.xyz")},
             {"--type", "21", input, temp_path("out.bmp")},
             {"--quality", "101", input, temp_path("out.bmp")},
             {"--frobnicate", input, temp_path("out.bmp")},
             {"--resize", "0x5", input, temp_path("out.bmp")},
             {"--crop", "1,2,3", input, temp_path("out.bmp")},
             {input},
         }) {
        const Outcome run = zarnconv(arguments);
        EXPECT_EQ(run.status, 2) << arguments.front();
        EXPECT_NE(run.err.find("zarnconv: "), std::string::npos) << arguments.front();
    }
}

TEST(ZarnconvFailure, UnwritablePlaceFails)
{
    const std::string input = make_bmp("in.bmp", 2, 1);
    // A file standing where a folder should be stops even root.
    const Outcome under_file = zarnconv({input, input + "/out.bmp"});
    EXPECT_EQ(under_file.status, 1);
    EXPECT_NE(under_file.err.find("cannot write"), std::string::npos) << under_file.err;

    const Outcome no_folder = zarnconv({input, temp_path("no/such/folder/out.bmp")});
    EXPECT_EQ(no_folder.status, 1);
    EXPECT_NE(no_folder.err.find("cannot write"), std::string::npos) << no_folder.err;
}

// An output file read back by the library: its depth and its pixels as RGB rows.
struct Picture {
    int width = 0, height = 0, bits = 0;
    Rows rgb;
    Bytes palette;
};

Picture read_back(const std::string& path)
{
    ScopedPic pic;
    Picture picture;
    EXPECT_NE(_Pic_Read(path.c_str(), pic.get(), 0, 0), 0) << path;
    if (!pic->pixels) return picture;
    picture = {pic->width, pic->height, pic->bits, rgb_rows(*pic),
               Bytes(pic->palette, pic->palette + 3 * std::max(pic->colours, 0))};
    return picture;
}

// 3 x 2 pixels, each a different colour: A B C over D E F.
const Rows kSix{{10, 0, 0, 20, 0, 0, 30, 0, 0}, {0, 40, 0, 0, 50, 0, 0, 60, 0}};

std::string make_six(const std::string& name)
{
    const std::string path = temp_path(name);
    BmpBuilder().size(3, 2).bits(24).pixels(kSix).write(path);
    return path;
}

Bytes rgb(int r, int g, int b)
{
    return {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)};
}

Bytes row_of(std::initializer_list<Bytes> pixels)
{
    Bytes row;
    for (const Bytes& pixel : pixels) row.insert(row.end(), pixel.begin(), pixel.end());
    return row;
}

TEST(ZarnconvOperations, RotateTurnsClockwiseByTheGivenAngle)
{
    const std::string input = make_six("six.bmp");
    const Bytes a = rgb(10, 0, 0), b = rgb(20, 0, 0), c = rgb(30, 0, 0);
    const Bytes d = rgb(0, 40, 0), e = rgb(0, 50, 0), f = rgb(0, 60, 0);

    const Outcome quarter = zarnconv({"--rotate", "90", input, temp_path("r90.bmp")});
    ASSERT_EQ(quarter.status, 0) << quarter.err;
    const Picture r90 = read_back(temp_path("r90.bmp"));
    EXPECT_EQ(r90.width, 2);
    EXPECT_EQ(r90.height, 3);
    EXPECT_EQ(r90.rgb, (Rows{row_of({d, a}), row_of({e, b}), row_of({f, c})}));

    ASSERT_EQ(zarnconv({"--rotate=180", input, temp_path("r180.bmp")}).status, 0);
    EXPECT_EQ(read_back(temp_path("r180.bmp")).rgb, (Rows{row_of({f, e, d}), row_of({c, b, a})}));

    ASSERT_EQ(zarnconv({"--rotate", "270", input, temp_path("r270.bmp")}).status, 0);
    EXPECT_EQ(read_back(temp_path("r270.bmp")).rgb, (Rows{row_of({c, f}), row_of({b, e}), row_of({a, d})}));
}

// A photo whose Exif orientation (6) says it is stored lying on its side.
TEST(ZarnconvOperations, JpegIsReadUprightUnlessKeepOrientationIsGiven)
{
    const std::string plain = temp_path("plain.jpg");
    ASSERT_EQ(zarnconv({"-q", make_bmp("photo.bmp", 16, 8), plain}).status, 0);
    Bytes jpeg = read_file(plain);
    const Bytes exif{0xFF, 0xE1, 0,    34,   'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,   // TIFF header
                     1,    0,    0x12, 0x01, 3,   0,   1,   0,   0, 0, 6,   0,   0,  0, 0, 0, 0, 0};  // IFD0
    jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
    const std::string photo = temp_path("photo.jpg");
    write_file(photo, jpeg);

    ASSERT_EQ(zarnconv({photo, temp_path("upright.bmp")}).status, 0);
    const Picture upright = read_back(temp_path("upright.bmp"));
    EXPECT_EQ(upright.width, 8);
    EXPECT_EQ(upright.height, 16);
    ASSERT_EQ(zarnconv({plain, temp_path("stored.bmp")}).status, 0);
    ASSERT_EQ(zarnconv({"--keep-orientation", photo, temp_path("kept.bmp")}).status, 0);
    expect_same_pixels(temp_path("stored.bmp"), temp_path("kept.bmp"));
}

TEST(ZarnconvOperations, OperationsApplyInCommandLineOrder)
{
    const std::string input = make_six("six.bmp");
    // Keep the top row A B C, then turn it clockwise into a column with A on top.
    ASSERT_EQ(zarnconv({"--crop", "0,0,3,1", "--rotate", "90", input, temp_path("crop-turn.bmp")}).status, 0);
    const Picture crop_turn = read_back(temp_path("crop-turn.bmp"));
    EXPECT_EQ(crop_turn.rgb, (Rows{rgb(10, 0, 0), rgb(20, 0, 0), rgb(30, 0, 0)}));

    // Turn first (3 wide, 2 high becomes 2 by 3), then the same crop no longer fits.
    const Outcome turn_crop = zarnconv({"--rotate", "90", "--crop", "0,0,3,1", input, temp_path("turn-crop.bmp")});
    EXPECT_EQ(turn_crop.status, 1);
    EXPECT_FALSE(file_exists(temp_path("turn-crop.bmp")));

    ASSERT_EQ(zarnconv({"--resize", "6x4", "--resize", "3x2", input, temp_path("there-and-back.bmp")}).status, 0);
    EXPECT_EQ(read_back(temp_path("there-and-back.bmp")).width, 3);
}

TEST(ZarnconvOperations, GreyGivesAnEightBitGreyBitmap)
{
    const std::string input = temp_path("colours.bmp");
    BmpBuilder()
        .size(4, 1)
        .bits(24)
        .pixels({row_of({rgb(0, 0, 0), rgb(255, 255, 255), rgb(255, 0, 0), rgb(0, 0, 255)})})
        .write(input);
    const Outcome run = zarnconv({"--grey", input, temp_path("grey.bmp")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Bytes file = read_file(temp_path("grey.bmp"));
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(get_u16(file, 28), 8) << "bits per pixel in the file";

    const Picture grey = read_back(temp_path("grey.bmp"));
    EXPECT_EQ(grey.bits, 8);
    for (std::size_t entry = 0; entry + 2 < grey.palette.size(); entry += 3) {
        EXPECT_EQ(grey.palette[entry], grey.palette[entry + 1]) << "entry " << entry / 3;
        EXPECT_EQ(grey.palette[entry], grey.palette[entry + 2]) << "entry " << entry / 3;
    }
    ASSERT_EQ(grey.rgb.size(), 1u);
    const Bytes& levels = grey.rgb.front();
    EXPECT_EQ(levels[0], 0);
    EXPECT_EQ(levels[3], 255);
    EXPECT_GT(levels[6], levels[9]) << "red is lighter than blue in grey";
}

TEST(ZarnconvOperations, CropOutsideTheImageFailsAndWritesNothing)
{
    const std::string input = make_six("six.bmp");
    const std::string output = temp_path("outside.bmp");
    const Outcome run = zarnconv({"--crop", "2,1,2,1", input, output});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot apply --crop 2,1,2,1 to '" + input + "'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("3x2"), std::string::npos) << run.err;
    EXPECT_FALSE(file_exists(output));
}

TEST(ZarnconvOperations, AnImageAnOperationCannotTakeFailsAloneAmongSeveral)
{
    const std::string true_colour = make_six("six.bmp");
    const std::string palette = temp_path("palette.bmp");
    BmpBuilder().size(2, 2).bits(8).palette(grey_ramp(256)).pixels(ramp(2, 2)).write(palette);
    const std::string folder = temp_path("dithered/");

    const Outcome run = zarnconv({"-t", "bmp", "--dither", palette, true_colour, folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot apply --dither to '" + palette + "'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("8-bit"), std::string::npos) << run.err;
    EXPECT_FALSE(file_exists(folder + "palette.bmp"));
    EXPECT_EQ(read_back(folder + "six.bmp").bits, 8) << "the 24-bit one is dithered to a palette";

    // Made 24-bit first, the palette image takes an effect.
    const Outcome expanded = zarnconv({"--effect", "1", "--effect", "20", palette, temp_path("sepia.bmp")});
    EXPECT_EQ(expanded.status, 0) << expanded.err;
    EXPECT_EQ(read_back(temp_path("sepia.bmp")).bits, 24);
}

// Stretching the levels of a one-colour picture finds nothing to do; the
// picture is written as it came.
TEST(ZarnconvOperations, AnEffectWithNothingToChangeStillWrites)
{
    const std::string flat = temp_path("flat.bmp");
    BmpBuilder()
        .size(8, 8)
        .bits(24)
        .pixels(Rows(8, row_of({rgb(90, 60, 30), rgb(90, 60, 30), rgb(90, 60, 30), rgb(90, 60, 30), rgb(90, 60, 30),
                                rgb(90, 60, 30), rgb(90, 60, 30), rgb(90, 60, 30)})))
        .write(flat);
    const Outcome run = zarnconv({"--effect", "19", flat, temp_path("same.bmp")});
    EXPECT_EQ(run.status, 0) << run.err;
    expect_same_pixels(flat, temp_path("same.bmp"));
}

// An 8-colour GIF reads as a 3-bit record; crops and palette expansion take
// it as 8-bit with the same palette.
TEST(ZarnconvOperations, AnEightColourGifCropsAndExpands)
{
    const std::string gif = temp_path("eight.gif");
    const Bytes palette{0, 0, 0, 200, 0, 0, 0, 200, 0, 0, 0, 200, 9, 9, 9, 50, 60, 70, 255, 255, 255, 1, 2, 3};
    GifBuilder().size(3, 2).global_table(palette, 2).code_size(3).pixels({{1, 2, 3}, {5, 6, 7}}).write(gif);
    auto colour = [&](int index) { return Bytes(palette.begin() + 3 * index, palette.begin() + 3 * index + 3); };

    const Outcome cropped = zarnconv({"--crop", "1,0,2,2", gif, temp_path("cropped.bmp")});
    ASSERT_EQ(cropped.status, 0) << cropped.err;
    const Picture crop = read_back(temp_path("cropped.bmp"));
    EXPECT_EQ(crop.bits, 8);
    EXPECT_EQ(crop.rgb, (Rows{row_of({colour(2), colour(3)}), row_of({colour(6), colour(7)})}));

    const Outcome expanded = zarnconv({"--effect", "1", gif, temp_path("expanded.bmp")});
    ASSERT_EQ(expanded.status, 0) << expanded.err;
    const Picture rgb24 = read_back(temp_path("expanded.bmp"));
    EXPECT_EQ(rgb24.bits, 24);
    EXPECT_EQ(rgb24.rgb, (Rows{row_of({colour(1), colour(2), colour(3)}), row_of({colour(5), colour(6), colour(7)})}));
}

TEST(ZarnconvOperations, ReducedImageIsWrittenThroughThePngModule)
{
    const std::string input = make_bmp("ramp.bmp", 16, 16);
    const Outcome run = zarnconv({"--reduce", "--resize", "8x8", input, temp_path("reduced.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture reduced = read_back(temp_path("reduced.png"));
    EXPECT_EQ(reduced.width, 8);
    EXPECT_LE(reduced.bits, 8);
}

TEST(ZarnconvThumbnail, IffThumbnailCarriesTheCacheEntries)
{
    const std::string iff = temp_path("amiga.iff");
    ASSERT_EQ(zarnconv({make_bmp("amiga.bmp", 200, 120), iff}).status, 0);
    const std::string png = temp_path("thumb.png");
    const Outcome run = zarnconv({"--thumbnail", "128", iff, png});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture thumbnail = read_back(png);
    EXPECT_EQ(thumbnail.width, 128);
    EXPECT_EQ(thumbnail.height, 77);
    EXPECT_EQ(thumbnail.bits, 24);
    if (!have_program("pngcheck")) GTEST_SKIP() << "pngcheck not installed";
    const ToolRun check = run_tool({"pngcheck", "-t", png});
    const std::string entries(check.output.begin(), check.output.end());
    EXPECT_EQ(check.status, 0) << entries;
    for (const std::string& entry : {"Thumb::URI:\n    file://" + iff, std::string("Thumb::Image::Width:\n    200"),
                                     "Thumb::Size:\n    " + std::to_string(read_file(iff).size())})
        EXPECT_NE(entries.find(entry), std::string::npos) << entries;
}

TEST(ZarnconvThumbnail, FailuresSayWhyAndLeaveTheInput)
{
    const Outcome missing = zarnconv({"--thumbnail", "128", temp_path("missing.bmp"), temp_path("t.png")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("file not found"), std::string::npos) << missing.err;
    const std::string input = make_bmp("self.bmp", 30, 20);
    const Bytes before = read_file(input);
    EXPECT_EQ(zarnconv({"--thumbnail", "128", input, input}).status, 1);
    EXPECT_EQ(read_file(input), before);
    EXPECT_EQ(zarnconv({"--thumbnail", "0", input, temp_path("t.png")}).status, 2);
    EXPECT_EQ(zarnconv({"--thumbnail", "128", input}).status, 2);
}

TEST(ZarnconvInfo, ListsFormatsAndHelp)
{
    const Outcome list = zarnconv({"--list-formats"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("Windows Bitmap"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("15"), std::string::npos) << "every save type is numbered";

    const Outcome help = zarnconv({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: zarnconv"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--crop X,Y,W,H"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("201"), std::string::npos) << "the effect codes are listed";
    EXPECT_NE(help.out.find("1 192x128"), std::string::npos) << "what the PhotoCD values mean";
}

}  // namespace
