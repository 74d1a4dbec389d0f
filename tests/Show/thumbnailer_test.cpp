// The desktop thumbnailer entry: a key file file managers can read, whose command draws a thumbnail.
#include "registration.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

using namespace zarn::test;

const std::string kConverter = std::string(ZARN_BIN_DIR) + "/zarnconv";

// The entry's keys; empty when a line is neither its one group's header nor a key.
std::map<std::string, std::string> entry_keys(const std::string& text)
{
    std::map<std::string, std::string> keys;
    std::istringstream lines(text);
    std::string line;
    bool in_group = false;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (!in_group && line == "[Thumbnailer Entry]") {
            in_group = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!in_group || equals == std::string::npos ||
            !keys.emplace(line.substr(0, equals), line.substr(equals + 1)).second)
            return {};
    }
    return keys;
}

TEST(Thumbnailer, EntryParsesAndItsCommandDrawsAnIffFile)
{
    ASSERT_TRUE(show::installThumbnailer(QString::fromStdString(kConverter)));
    const std::string path = show::thumbnailerPath().toStdString();
    ASSERT_EQ(path, std::string(std::getenv("XDG_DATA_HOME")) + "/thumbnailers/zarn-show.thumbnailer");
    const Bytes bytes = read_file(path);
    const auto keys = entry_keys(std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(keys.size(), 3u) << std::string(bytes.begin(), bytes.end());
    EXPECT_EQ(keys.at("TryExec"), kConverter);
    const std::string types = ";" + keys.at("MimeType");
    EXPECT_EQ(types.back(), ';');
    for (const char* type : {"image/x-photo-cd", "image/x-ilbm", "image/x-iff", "image/x-tga", "image/vnd.zbrush.pcx",
                             "image/x-zarn-r8", "image/x-adobe-dng", "image/x-canon-cr2", "image/x-nikon-nef"})
        EXPECT_NE(types.find(";" + std::string(type) + ";"), std::string::npos) << type;
    EXPECT_EQ(types.find("image/jpeg"), std::string::npos) << "others draw the common formats";

    // The command as a file manager runs it, its field codes filled in.
    const std::string iff = temp_path("amiga.iff"), out = temp_path("drawn.png");
    ASSERT_EQ(run_tool({kConverter, write_picture("amiga.bmp", 300, 150), iff}).status, 0);
    std::vector<std::string> argv;
    std::istringstream words(keys.at("Exec"));
    for (std::string word; words >> word;)
        argv.push_back(word == "%s" ? "128" : word == "%i" ? iff : word == "%o" ? out : word);
    ASSERT_EQ(argv.size(), 5u);
    ASSERT_EQ(run_tool(argv).status, 0);
    ScopedPic drawn;
    ASSERT_EQ(_Pic_Read(out.c_str(), drawn.get(), 0, 0), 1);
    EXPECT_EQ(drawn->width, 128);
    EXPECT_EQ(drawn->height, 64);

    // Without the converter the entry would name a missing program: it goes.
    EXPECT_FALSE(show::installThumbnailer(QString::fromStdString(temp_path("gone/zarnconv"))));
    EXPECT_FALSE(file_exists(path));
}

}  // namespace
