// zarnconv's command-line parser, save-type lookup and output naming.
#include "jobs.h"
#include "options.h"
#include "pixel_operations.h"
#include "save_types.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

#include <filesystem>

namespace zarnconv {
namespace {

const std::vector<SaveFormat> kFormats =
    parse_save_formats("Windows Bitmap|*.bmp|Jpeg/JFIF 24bit|*.jpg|Jpeg/JFIF Greyscale|*.jpg|TIFF lzw|*.tif|");

ParseResult parse(std::vector<const char*> arguments)
{
    return parse_arguments(arguments, kFormats);
}

TEST(SaveTypes, FilterTextGivesNumberedTypesWithExtensions)
{
    ASSERT_EQ(kFormats.size(), 4u);
    EXPECT_EQ(kFormats[1].type, 2);
    EXPECT_EQ(kFormats[1].description, "Jpeg/JFIF 24bit");
    EXPECT_EQ(kFormats[3].extension, ".tif");

    const auto& library = library_save_formats();
    ASSERT_EQ(library.size(), 20u);
    EXPECT_EQ(library.front().description, "Windows Bitmap");
    EXPECT_EQ(library.front().extension, ".bmp");
    EXPECT_EQ(library[14].extension, ".r8");
    EXPECT_EQ(library.back().description, "JPEG XL lossless");
}

TEST(SaveTypes, ExtensionPicksTheFirstMatchIgnoringCase)
{
    EXPECT_EQ(find_by_extension(kFormats, ".JPG")->type, 2);
    EXPECT_EQ(find_by_extension(kFormats, "jpg")->type, 2);
    EXPECT_EQ(find_by_extension(kFormats, "Tif")->type, 4);
    EXPECT_EQ(find_by_extension(kFormats, ".xyz"), nullptr);
    EXPECT_EQ(find_by_extension(kFormats, "."), nullptr);
    EXPECT_EQ(find_by_type(kFormats, 0), nullptr);
    EXPECT_EQ(find_by_type(kFormats, 5), nullptr);
}

// The library renames on the file-name part only; zarnconv must predict it
// to report where the file went.
TEST(SaveTypes, OutputNamesFollowTheLibrarysExtensionRule)
{
    EXPECT_EQ(with_extension("out.png", ".bmp"), "out.bmp");
    EXPECT_EQ(with_extension("a.b.c", ".bmp"), "a.b.bmp");
    EXPECT_EQ(with_extension("dir.d/out", ".bmp"), "dir.d/out.bmp");
    EXPECT_EQ(with_extension("dir/.hidden", ".bmp"), "dir/.hidden.bmp");
    EXPECT_EQ(stem("photos/cat.gif"), "cat");
    EXPECT_EQ(stem("photos.d/cat"), "cat");
    EXPECT_EQ(file_extension("photos.d/cat"), "");
}

TEST(ParseArguments, DefaultsAndPaths)
{
    const ParseResult result = parse({"in.bmp", "out.bmp"});
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.options.action, Options::Action::Convert);
    EXPECT_EQ(result.options.inputs, std::vector<std::string>{"in.bmp"});
    EXPECT_EQ(result.options.output, "out.bmp");
    EXPECT_EQ(result.options.save_type, 0);
    EXPECT_EQ(result.options.quality, 75);
    EXPECT_EQ(result.options.threads, 1);
    EXPECT_FALSE(result.options.quiet);
    EXPECT_FALSE(result.options.keep_orientation);
    EXPECT_TRUE(result.options.operations.empty()) << "no operations: the plain conversion";
}

TEST(ParseArguments, ValuesJoinedOrSeparate)
{
    const ParseResult result = parse(
        {"--quality=90", "--jpeg-scale", "2", "--photocd", "1", "-j3", "-q", "--keep-orientation", "a", "b", "dest/"});
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.options.quality, 90);
    EXPECT_EQ(result.options.jpeg_scale, 2);
    EXPECT_EQ(result.options.photocd, 1);
    EXPECT_EQ(result.options.threads, 3);
    EXPECT_TRUE(result.options.quiet);
    EXPECT_TRUE(result.options.keep_orientation);
    EXPECT_EQ(result.options.inputs.size(), 2u);
    EXPECT_EQ(parse({"--jobs", "2", "a", "b"}).options.threads, 2);
}

TEST(ParseArguments, TypeByNumberOrExtensionWord)
{
    EXPECT_EQ(parse({"--type", "3", "a", "b"}).options.save_type, 3);
    EXPECT_EQ(parse({"-t", "jpg", "a", "b"}).options.save_type, 2);
    EXPECT_EQ(parse({"--type=.TIF", "a", "b"}).options.save_type, 4);
    EXPECT_FALSE(parse({"--type", "5", "a", "b"}).ok());
    EXPECT_FALSE(parse({"--type", "png", "a", "b"}).ok());
}

TEST(ParseArguments, MistakesAreRefused)
{
    for (const std::vector<const char*>& arguments : std::vector<std::vector<const char*>>{
             {"--quality", "0", "a", "b"},
             {"--quality", "75x", "a", "b"},
             {"--jpeg-scale", "4", "a", "b"},
             {"-j", "0", "a", "b"},
             {"a", "b", "--quality"},
             {"--bogus", "a", "b"},
             {"-qx", "a", "b"},
             {"only-one"},
             {},
         }) {
        const ParseResult result = parse(arguments);
        EXPECT_FALSE(result.ok()) << (arguments.empty() ? "(nothing)" : arguments.front());
    }
}

TEST(ParseArguments, DoubleDashEndsOptionsAndHelpNeedsNoPaths)
{
    const ParseResult result = parse({"--", "-odd.bmp", "out.bmp"});
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.options.inputs.front(), "-odd.bmp");
    EXPECT_EQ(parse({"--help"}).options.action, Options::Action::Help);
    EXPECT_EQ(parse({"-h", "x"}).options.action, Options::Action::Help);
    EXPECT_EQ(parse({"--list-formats"}).options.action, Options::Action::ListFormats);
}

TEST(OperationOptions, KeepTheirOrderAndValues)
{
    const ParseResult result = parse({"--resize", "3X4", "--grey", "a.bmp", "--rotate=270", "--crop", "0,2,1,3",
                                      "--effect", "201", "--grey", "b.bmp", "out/"});
    ASSERT_TRUE(result.ok()) << result.error;
    using Kind = Operation::Kind;
    const std::vector<Operation> expected{
        {Kind::Resize, {3, 4, 0, 0}, "--resize 3X4"},   {Kind::Grey, {}, "--grey"},
        {Kind::Rotate, {270, 0, 0, 0}, "--rotate 270"}, {Kind::Crop, {0, 2, 1, 3}, "--crop 0,2,1,3"},
        {Kind::Effect, {201, 0, 0, 0}, "--effect 201"}, {Kind::Grey, {}, "--grey"},
    };
    EXPECT_EQ(result.options.operations, expected);
    EXPECT_EQ(result.options.inputs, (std::vector<std::string>{"a.bmp", "b.bmp"}));
}

TEST(OperationOptions, BadValuesAreRefusedNamingTheOption)
{
    for (const std::vector<const char*>& arguments : std::vector<std::vector<const char*>>{
             {"--resize", "0x5"},  {"--resize", "5x0"},     {"--resize", "5"},      {"--resize", "5x"},
             {"--resize", "x5"},   {"--resize", "5x5x5"},   {"--resize", "-5x5"},   {"--resize", "99999999999x5"},
             {"--crop", "1,2,3"},  {"--crop", "1,2,3,4,5"}, {"--crop", "-1,0,2,2"}, {"--crop", "0,0,0,2"},
             {"--crop", "0,0,2,"}, {"--crop", "0,,2,2"},    {"--crop", "0 0 2 2"},  {"--rotate", "45"},
             {"--rotate", "0"},    {"--rotate", "360"},     {"--rotate", "-90"},    {"--effect", "28"},
             {"--effect", "99"},   {"--effect", "-1"},      {"--effect", "sepia"},  {"--grey=1"},
             {"--dither=yes"},
         }) {
        std::vector<const char*> full = arguments;
        full.insert(full.end(), {"in.bmp", "out.bmp"});
        const ParseResult result = parse(full);
        EXPECT_FALSE(result.ok()) << arguments.front() << " " << (arguments.size() > 1 ? arguments[1] : "");
        const std::string name(arguments.front());
        EXPECT_NE(result.error.find(name.substr(0, name.find('='))), std::string::npos) << result.error;
    }
    EXPECT_FALSE(parse({"a", "b", "--crop"}).ok()) << "no value";
}

// Operations on records built in memory; the run tests cover them through files.
class ApplyOperation : public ::testing::Test {
protected:
    std::string apply(const char* option, const char* value = "")
    {
        const OperationParse parsed = parse_operation(option, value);
        EXPECT_TRUE(parsed.ok()) << parsed.error;
        return apply_operation(pic.get(), parsed.operation);
    }
    zarn::test::ScopedPic pic;
};

TEST_F(ApplyOperation, HalfAndThreeQuarterTurnsAreClockwise)
{
    // 3 x 2, indexes 0..5 row by row.
    pic.set(3, 2, 8, {{0, 1, 2}, {3, 4, 5}}, zarn::test::grey_ramp(256));
    ASSERT_EQ(apply("--rotate", "180"), "");
    EXPECT_EQ(zarn::test::pixel_rows(*pic), (zarn::test::Rows{{5, 4, 3}, {2, 1, 0}}));
    ASSERT_EQ(apply("--rotate", "270"), "");  // a quarter turn back from there
    EXPECT_EQ(zarn::test::pixel_rows(*pic), (zarn::test::Rows{{3, 0}, {4, 1}, {5, 2}}));
}

TEST_F(ApplyOperation, RefusalsSayWhyAndLeaveTheImage)
{
    pic.set(4, 2, 8, zarn::test::ramp(4, 2), zarn::test::grey_ramp(256));
    const std::string dither = apply("--dither");
    EXPECT_NE(dither.find("24-bit"), std::string::npos) << dither;
    EXPECT_NE(dither.find("this one is 8-bit"), std::string::npos) << dither;
    EXPECT_NE(apply("--effect", "20").find("--effect 1 first"), std::string::npos);

    const std::string crop = apply("--crop", "2,0,3,1");
    EXPECT_NE(crop.find("does not fit inside the 4x2 image"), std::string::npos) << crop;
    EXPECT_EQ(zarn::test::pixel_rows(*pic), zarn::test::ramp(4, 2));
    EXPECT_EQ(apply("--crop", "1,1,3,1"), "");
    EXPECT_EQ(pic->width, 3);

    pic.set(8, 1, 1, zarn::test::mono_pattern(8, 1));
    const std::string grey = apply("--grey");
    EXPECT_NE(grey.find("2- to 8- or 24-bit"), std::string::npos) << grey;
    EXPECT_NE(apply("--effect", "1").find("4- to 8-bit"), std::string::npos);
    EXPECT_EQ(apply("--effect", "105"), "") << "inverting is for 1-bit images";
}

Plan plan(std::vector<const char*> arguments)
{
    const ParseResult parsed = parse(std::move(arguments));
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return plan_jobs(parsed.options, kFormats);
}

TEST(PlanJobs, OneInputTakesTheTypeFromTheOutputUnlessTold)
{
    Plan single = plan({"in.gif", "out.JPG"});
    ASSERT_TRUE(single.error.empty()) << single.error;
    EXPECT_EQ(single.format->type, 2);
    EXPECT_EQ(single.jobs.front().written, "out.jpg");

    single = plan({"-t", "1", "in.gif", "out.jpg"});
    EXPECT_EQ(single.format->type, 1);
    EXPECT_EQ(single.jobs.front().output, "out.jpg");
    EXPECT_EQ(single.jobs.front().written, "out.bmp");

    EXPECT_FALSE(plan({"in.gif", "out.xyz"}).error.empty());
    EXPECT_FALSE(plan({"in.gif", "out"}).error.empty());
}

// The output's extension picks the first kind of its format; --lossless the
// lossless one beside it, and a format without one is refused.
TEST(PlanJobs, LosslessPicksTheLosslessKindOfTheOutputsFormat)
{
    const auto& library = library_save_formats();
    auto planned = [&](std::vector<const char*> arguments) {
        const ParseResult parsed = parse_arguments(arguments, library);
        EXPECT_TRUE(parsed.ok()) << parsed.error;
        return plan_jobs(parsed.options, library);
    };
    EXPECT_EQ(planned({"in.png", "out.webp"}).format->description, "WebP");
    EXPECT_EQ(planned({"--lossless", "in.png", "out.webp"}).format->description, "WebP lossless");
    EXPECT_EQ(planned({"--lossless", "in.png", "out.jxl"}).format->description, "JPEG XL lossless");
    EXPECT_EQ(planned({"--lossless", "-t", "20", "in.png", "out.jxl"}).format->type, 20);
    EXPECT_FALSE(planned({"--lossless", "in.png", "out.jpg"}).error.empty());
}

TEST(PlanJobs, SeveralInputsGoIntoAFolderUnderTheirOwnNames)
{
    EXPECT_FALSE(plan({"a.gif", "b.gif", "dest/"}).error.empty()) << "no --type";
    EXPECT_FALSE(plan({"-t", "1", "a.gif", "b.gif", zarn::test::temp_path("missing").c_str()}).error.empty());

    const Plan several = plan({"-t", "bmp", "one/a.gif", "two.d/b", "three/a.tif", "dest/"});
    ASSERT_TRUE(several.error.empty()) << several.error;
    EXPECT_EQ(several.folder_to_create, "dest/");
    ASSERT_EQ(several.jobs.size(), 3u);
    EXPECT_EQ(several.jobs[0].written, "dest/a.bmp");
    EXPECT_EQ(several.jobs[1].written, "dest/b.bmp");
    EXPECT_TRUE(several.jobs[1].conflict.empty());
    EXPECT_FALSE(several.jobs[0].conflict.empty()) << "two jobs write dest/a.bmp: neither runs";
    EXPECT_FALSE(several.jobs[2].conflict.empty());

    const std::string folder = zarn::test::temp_dir();
    const Plan existing = plan({"-t", "1", "in.gif", folder.c_str()});
    ASSERT_TRUE(existing.error.empty()) << existing.error;
    EXPECT_TRUE(existing.folder_to_create.empty());
    EXPECT_EQ(existing.jobs.front().written, folder + "/in.bmp");
}

}  // namespace
}  // namespace zarnconv
