// Desktop registration: the entries and their command lines, MIME defaults, and the command-line verbs.
#include "command_line.h"
#include "registration.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

namespace {

using namespace zarn::test;

std::string data_home()
{
    return std::getenv("XDG_DATA_HOME");
}
std::string mimeapps_path()
{
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/mimeapps.list";
}
std::string text_of(const std::string& path)
{
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// What xdg-mime answers in our scratch tree, with no desktop session to
// send it elsewhere.
std::string xdg_default(const std::string& type)
{
    const ToolRun run = run_tool({"env", "-i", "PATH=/usr/bin:/bin", "HOME=" + temp_dir(),
                                  "XDG_CONFIG_HOME=" + std::string(std::getenv("XDG_CONFIG_HOME")),
                                  "XDG_DATA_HOME=" + data_home(), "xdg-mime", "query", "default", type});
    std::string answer(run.output.begin(), run.output.end());
    while (!answer.empty() && answer.back() == '\n') answer.pop_back();
    return answer;
}

// The Exec value of the first line of a group.
std::string exec_in(const std::string& text, const std::string& group)
{
    const std::size_t at = text.find("[" + group + "]");
    if (at == std::string::npos) return {};
    const std::size_t exec = text.find("\nExec=", at);
    return text.substr(exec + 6, text.find('\n', exec + 1) - exec - 6);
}

TEST(Registration, EntriesPassTheValidatorWithTheirCommandLines)
{
    if (!have_program("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate not installed";
    const QString program = "/opt/image tools/Show";
    const auto entries = show::desktopEntries(program, {"image/bmp", "image/x-zarn-r8"});
    ASSERT_EQ(entries.size(), 5u);
    for (const auto& entry : entries) {
        const std::string path = temp_path(entry.fileName.toStdString());
        const QByteArray bytes = entry.text.toUtf8();
        write_file(path, Bytes(bytes.begin(), bytes.end()));
        const ToolRun run = run_tool({"desktop-file-validate", path});
        EXPECT_EQ(run.status, 0) << entry.fileName.toStdString() << "\n"
                                 << std::string(run.output.begin(), run.output.end());
        EXPECT_TRUE(std::string(run.output.begin(), run.output.end()).empty())
            << std::string(run.output.begin(), run.output.end());
    }
    const std::string main = entries[0].text.toStdString();
    EXPECT_EQ(entries[0].fileName, "Show.Image.desktop");
    EXPECT_EQ(exec_in(main, "Desktop Entry"), "\"/opt/image tools/Show\" %f");
    EXPECT_EQ(exec_in(main, "Desktop Action Browse"), "\"/opt/image tools/Show\" --browse %f");
    EXPECT_EQ(exec_in(main, "Desktop Action Edit"), "\"/opt/image tools/Show\" --edit %f");
    EXPECT_EQ(exec_in(main, "Desktop Action EditWith"), "\"/opt/image tools/Show\" --edit-with %f");
    EXPECT_EQ(exec_in(main, "Desktop Action Print"), "\"/opt/image tools/Show\" --print %f");
    EXPECT_NE(main.find("MimeType=image/bmp;image/x-zarn-r8;\n"), std::string::npos);
    EXPECT_EQ(entries[1].fileName, "Show.Image.Browse.desktop");
    EXPECT_EQ(exec_in(entries[1].text.toStdString(), "Desktop Entry"), "\"/opt/image tools/Show\" --browse %f");
    EXPECT_EQ(entries[4].fileName, "Show.Image.Print.desktop");
}

TEST(Registration, NamesWithoutMnemonicsAndOneEntryInTheMenu)
{
    const auto entries = show::desktopEntries("/usr/bin/Show", {"image/bmp"});
    ASSERT_EQ(entries.size(), 5u);
    // Desktop entries have no mnemonics: an '&' would show as it is.
    for (const auto& entry : entries) EXPECT_FALSE(entry.text.contains('&')) << entry.fileName.toStdString();
    const QString& main = entries[0].text;
    EXPECT_TRUE(main.contains("\nName=Browse\n"));
    EXPECT_TRUE(main.contains("\nName=Edit Image With...\n"));
    EXPECT_FALSE(main.contains("NoDisplay"));
    EXPECT_TRUE(entries[1].text.contains("\nName=Show: Browse\n"));
    // The verbs' own entries are for file managers, not the application menu.
    for (std::size_t i = 1; i < entries.size(); ++i)
        EXPECT_TRUE(entries[i].text.contains("\nNoDisplay=true\n")) << entries[i].fileName.toStdString();
}

TEST(Registration, ExecQuotingEscapesWhatTheSyntaxReserves)
{
    EXPECT_EQ(show::execArgument("/usr/bin/Show"), "/usr/bin/Show");  // plain paths stay plain
    EXPECT_EQ(show::execArgument("/opt/100%/Show"), "/opt/100%%/Show");
    EXPECT_EQ(show::execArgument("/a b/Show"), "\"/a b/Show\"");
    // Inside quotes: \" \` \$ \\ ; then the file's string syntax doubles each backslash; % doubles.
    EXPECT_EQ(show::execArgument("/x\"y/$HOME/`z`/100%/a\\b"), "\"/x\\\\\"y/\\\\$HOME/\\\\`z\\\\`/100%%/a\\\\\\\\b\"");
}

TEST(Registration, EveryStartWritesTheEntries)
{
    {
        TForm1 form;
    }
    const std::string folder = data_home() + "/applications";
    for (const char* name : {"Show.Image.desktop", "Show.Image.Browse.desktop", "Show.Image.Edit.desktop",
                             "Show.Image.EditWith.desktop", "Show.Image.Print.desktop"}) {
        ASSERT_TRUE(file_exists(folder + "/" + name)) << name;
        if (have_program("desktop-file-validate")) {
            EXPECT_EQ(run_tool({"desktop-file-validate", folder + "/" + name}).status, 0) << name;
        }
    }
    const std::string main = text_of(folder + "/Show.Image.desktop");
    EXPECT_NE(main.find(QCoreApplication::applicationFilePath().toStdString()), std::string::npos);
    for (const char* type :
         {"image/bmp", "image/gif", "image/x-portable-pixmap", "image/jpeg", "image/png", "image/webp;", "image/avif;",
          "image/heif;", "image/heic;", "image/jxl;", "image/x-adobe-dng;", "image/x-canon-cr2;", "image/x-nikon-nef;"})
        EXPECT_NE(main.find(type), std::string::npos) << type;
    // The entry names the program's own icon, installed where the icon theme finds it.
    EXPECT_NE(main.find("\nIcon=zarn-show\n"), std::string::npos);
    EXPECT_NE(text_of(data_home() + "/icons/hicolor/scalable/apps/zarn-show.svg").find("<svg"), std::string::npos);
}

TEST(Registration, RegisterAssociatesEachExtensionOfTheFormat)
{
    TForm1 form;
    QStringList statuses;
    QObject::connect(&form, &TForm1::registrationStatusChanged, [&](const QString& s) { statuses << s; });
    form.RegisterFormats(3);  // "ppm,pgm,pbm"
    EXPECT_EQ(statuses, (QStringList{"Registered ppm", "Registered pgm", "Registered pbm"}));
    EXPECT_EQ(form.RegistrationStatus(), "Registered pbm");

    const std::string list = text_of(mimeapps_path());
    for (const char* line :
         {"image/x-portable-pixmap=Show.Image.desktop;", "image/x-portable-graymap=Show.Image.desktop;",
          "image/x-portable-bitmap=Show.Image.desktop;"})
        EXPECT_NE(list.find(line), std::string::npos) << list;
    EXPECT_EQ(list.find("image/bmp"), std::string::npos);

    if (!have_program("xdg-mime")) GTEST_SKIP() << "xdg-mime not installed";
    EXPECT_EQ(xdg_default("image/x-portable-graymap"), "Show.Image.desktop");
    EXPECT_NE(xdg_default("image/gif"), "Show.Image.desktop");
}

TEST(Registration, OtherLinesOfMimeappsListSurvive)
{
    const std::string before =
        "# kept\n[Added Associations]\nimage/png=gimp.desktop;\n\n"
        "[Default Applications]\ntext/plain=editor.desktop;\nimage/png=other.desktop;\n\n"
        "[Removed Associations]\nimage/gif=bad.desktop;\n";
    write_file(mimeapps_path(), Bytes(before.begin(), before.end()));
    TForm1 form;
    form.RegisterFormats(9);  // png
    const std::string after = text_of(mimeapps_path());
    EXPECT_EQ(after,
              "# kept\n[Added Associations]\nimage/png=gimp.desktop;\n\n"
              "[Default Applications]\ntext/plain=editor.desktop;\n"
              "image/png=Show.Image.desktop;other.desktop;\n\n"
              "[Removed Associations]\nimage/gif=bad.desktop;\n");
    form.RegisterFormats(9);  // a second time changes nothing
    EXPECT_EQ(text_of(mimeapps_path()), after);
    if (have_program("xdg-mime")) {
        EXPECT_EQ(xdg_default("image/png"), "Show.Image.desktop");
    }
}

TEST(Registration, RegisterAllCoversEveryFormatAndDefinesTheTextureType)
{
    TForm1 form;
    form.RegisterFormats(0);
    EXPECT_EQ(form.RegistrationStatus(), "Registered All");
    const std::string list = text_of(mimeapps_path());
    for (const char* type : {"image/bmp", "image/gif", "image/x-portable-pixmap", "image/x-portable-graymap",
                             "image/x-portable-bitmap", "image/jpeg", "image/x-photo-cd", "image/tiff", "image/x-tga",
                             "image/vnd.zbrush.pcx", "image/png", "image/x-ilbm", "image/x-zarn-r8"})
        EXPECT_NE(list.find(std::string(type) + "=Show.Image.desktop;"), std::string::npos) << type;

    // The shared database has no type for the texture's extension: ours does.
    const std::string package = text_of(data_home() + "/mime/packages/zarn-show.xml");
    EXPECT_NE(package.find("type=\"image/x-zarn-r8\""), std::string::npos) << package;
    EXPECT_NE(package.find("pattern=\"*.r8\""), std::string::npos);
    if (have_program("update-mime-database")) {
        const std::string globs = text_of(data_home() + "/mime/globs2");
        EXPECT_NE(globs.find("image/x-zarn-r8:*.r8"), std::string::npos) << globs;
    }
}

TEST(Registration, ExtensionTextSplitsIntoPieces)
{
    EXPECT_EQ(show::extensionsOf("ppm,pgm,pbm"), (QStringList{"ppm", "pgm", "pbm"}));
    EXPECT_EQ(show::extensionsOf("R8"), QStringList{"R8"});
    EXPECT_EQ(show::extensionsOf("bmp"), QStringList{"bmp"});
    EXPECT_EQ(show::extensionsOf("aaa,bbb,ccc,ddd"), (QStringList{"aaa", "bbb", "ccc", "ddd"}));
    EXPECT_EQ(show::extensionsOf(""), QStringList{});
    EXPECT_EQ(show::extensionsOf("heic,heif"), (QStringList{"heic", "heif"}));
    EXPECT_EQ(show::extensionsOf("dng,cr2,cr3,nef,arw,orf").size(), 6);
}

TEST(Registration, MimeappsListWithoutDefaultsGroupGainsOne)
{
    EXPECT_EQ(show::withDefaultApplication("", "image/bmp", "Show.Image.desktop"),
              "[Default Applications]\nimage/bmp=Show.Image.desktop;\n");
    EXPECT_EQ(show::withDefaultApplication("[Added Associations]\na/b=x.desktop;\n", "image/bmp", "Show.Image.desktop"),
              "[Added Associations]\na/b=x.desktop;\n\n[Default Applications]\nimage/bmp=Show.Image.desktop;\n");
}

TEST(CommandLine, VerbOptionsStandForTheVerbCharacters)
{
    EXPECT_EQ(show::argumentText({}), "");
    EXPECT_EQ(show::argumentText({"/p/a b.bmp"}), "/p/a b.bmp");
    EXPECT_EQ(show::argumentText({"--browse", "/p/a.bmp"}), "=/p/a.bmp");
    EXPECT_EQ(show::argumentText({"--edit", "/p/a.bmp"}), "?/p/a.bmp");
    EXPECT_EQ(show::argumentText({"--edit-with", "/p/a.bmp"}), "!/p/a.bmp");
    EXPECT_EQ(show::argumentText({"--print", "/p/a.bmp"}), "+/p/a.bmp");
    EXPECT_EQ(show::argumentText({"--print"}), "+");  // an action started without a file

    const show::VerbAndPath browse = show::splitVerb("=/p/a.bmp");
    EXPECT_EQ(browse.verb, '=');
    EXPECT_EQ(browse.path, "/p/a.bmp");
    const show::VerbAndPath plain = show::splitVerb("/p/a.bmp");
    EXPECT_TRUE(plain.verb.isNull());
    EXPECT_EQ(plain.path, "/p/a.bmp");
}

}  // namespace
