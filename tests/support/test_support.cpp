// Builders and helpers shared by the tests.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zarn::test {
namespace {

namespace fs = std::filesystem;

// Gives every test a fresh folder and points the per-user variables into it;
// removes the folder and restores the variables when the test ends.
class TempFolderListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base == '/' ? base : "/tmp") + "/zarn-test-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
        for (const char* sub : {"tmp", "config", "data"}) fs::create_directory(folder_ + "/" + sub);
        redirect("TMPDIR", folder_ + "/tmp");
        redirect("XDG_CONFIG_HOME", folder_ + "/config");
        redirect("XDG_DATA_HOME", folder_ + "/data");
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
        saved_.clear();
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
        folder_.clear();
    }
    const std::string& folder() const { return folder_; }

private:
    void redirect(const char* name, const std::string& value)
    {
        const char* old = std::getenv(name);
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv(name, value.c_str(), 1);
    }

    std::string folder_;
    std::map<std::string, std::optional<std::string>> saved_;
};

TempFolderListener* install_listener()
{
    auto* listener = new TempFolderListener;  // owned by GoogleTest once appended
    ::testing::UnitTest::GetInstance()->listeners().Append(listener);
    return listener;
}
TempFolderListener* const temp_listener = install_listener();

std::size_t packed_row(int width, int bits)
{
    const auto w = std::size_t(width);
    switch (bits) {
    case 1: return (w + 7) / 8;
    case 4: return (w + 1) / 2;
    case 16: return 2 * w;
    case 24: return 3 * w;
    case 32: return 4 * w;
    default: return w;
    }
}

}  // namespace

std::string temp_dir()
{
    if (temp_listener->folder().empty()) ADD_FAILURE() << "temp_dir() outside a test";
    return temp_listener->folder();
}

std::string temp_path(const std::string& name)
{
    return temp_dir() + "/" + name;
}

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool file_exists(const std::string& path)
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> folder_entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

BmpBuilder& BmpBuilder::size(std::int32_t width, std::int32_t height)
{
    width_ = width;
    height_ = height;
    return *this;
}
BmpBuilder& BmpBuilder::bits(int bits)
{
    bits_ = bits;
    return *this;
}
BmpBuilder& BmpBuilder::palette(const Bytes& rgb)
{
    palette_ = rgb;
    return *this;
}
BmpBuilder& BmpBuilder::pixels(const Rows& rows)
{
    rows_ = rows;
    return *this;
}
BmpBuilder& BmpBuilder::header_size(std::uint32_t bytes)
{
    header_size_ = bytes;
    return *this;
}
BmpBuilder& BmpBuilder::top_down()
{
    top_down_ = true;
    return *this;
}
BmpBuilder& BmpBuilder::compression(std::uint32_t code)
{
    compression_ = code;
    return *this;
}
BmpBuilder& BmpBuilder::pixel_offset(std::uint32_t offset)
{
    pixel_offset_ = offset;
    return *this;
}
BmpBuilder& BmpBuilder::gap(const Bytes& bytes)
{
    gap_ = bytes;
    return *this;
}
BmpBuilder& BmpBuilder::pixel_data(const Bytes& raw)
{
    raw_ = raw;
    return *this;
}

Bytes BmpBuilder::bytes() const
{
    const bool core = header_size_ == 12;
    const std::size_t header_bytes = core ? 12 : std::max<std::uint32_t>(header_size_, 40);
    Bytes out(14 + header_bytes, 0);
    out[0] = 'B';
    out[1] = 'M';
    put_u32(out, 14, header_size_);
    if (core) {
        put_u16(out, 18, std::uint16_t(width_));
        put_u16(out, 20, std::uint16_t(height_));
        put_u16(out, 22, 1);
        put_u16(out, 24, std::uint16_t(bits_));
    } else {
        put_u32(out, 18, std::uint32_t(width_));
        put_u32(out, 22, std::uint32_t(top_down_ ? -height_ : height_));
        put_u16(out, 26, 1);
        put_u16(out, 28, std::uint16_t(bits_));
        put_u32(out, 30, compression_);
    }
    for (std::size_t i = 0; i + 2 < palette_.size(); i += 3) {
        out.insert(out.end(), {palette_[i + 2], palette_[i + 1], palette_[i]});
        if (!core) out.push_back(0);
    }
    out.insert(out.end(), gap_.begin(), gap_.end());
    put_u32(out, 10, pixel_offset_.value_or(std::uint32_t(out.size())));

    if (raw_) {
        out.insert(out.end(), raw_->begin(), raw_->end());
    } else {
        const std::size_t file_row = (packed_row(width_, bits_) + 3) & ~std::size_t(3);
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            const Bytes& row = rows_[top_down_ ? i : rows_.size() - 1 - i];
            Bytes encoded(file_row, 0);
            for (std::size_t x = 0; x < std::size_t(width_); ++x) {
                switch (bits_) {
                case 4: encoded[x / 2] = std::uint8_t(encoded[x / 2] | (row[x] & 0x0F) << ((x & 1) ? 0 : 4)); break;
                case 24:
                    for (std::size_t c = 0; c < 3; ++c) encoded[3 * x + c] = row[3 * x + 2 - c];
                    break;
                default: break;
                }
            }
            if (bits_ == 1 || bits_ == 8 || bits_ == 16 || bits_ == 32)
                std::copy(row.begin(), row.end(), encoded.begin());
            out.insert(out.end(), encoded.begin(), encoded.end());
        }
    }
    put_u32(out, 2, std::uint32_t(out.size()));
    return out;
}

void BmpBuilder::write(const std::string& path) const
{
    write_file(path, bytes());
}

Rows pixel_rows(const PicImage& pic)
{
    Rows rows;
    if (!pic.pixels || pic.width < 1 || pic.height < 1) return rows;
    const std::size_t row = pic.bits == 1    ? (std::size_t(pic.width) + 7) / 8
                            : pic.bits == 24 ? 3 * std::size_t(pic.width)
                                             : std::size_t(pic.width);
    for (std::size_t y = 0; y < std::size_t(pic.height); ++y)
        rows.emplace_back(pic.pixels + y * row, pic.pixels + (y + 1) * row);
    return rows;
}

Rows rgb_rows(const PicImage& pic)
{
    Rows rows = pixel_rows(pic);
    if (pic.bits == 24) return rows;
    for (Bytes& row : rows) {
        Bytes rgb;
        for (std::size_t x = 0; x < std::size_t(pic.width); ++x) {
            const int index = pic.bits == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
            rgb.insert(rgb.end(), pic.palette + 3 * index, pic.palette + 3 * index + 3);
        }
        row = rgb;
    }
    return rows;
}

Bytes grey_ramp(int count)
{
    Bytes rgb;
    for (int i = 0; i < count; ++i) {
        const auto level = std::uint8_t(count > 1 ? i * 255 / (count - 1) : 0);
        rgb.insert(rgb.end(), {level, level, level});
    }
    return rgb;
}

Rows ramp(int width, int height, int modulo)
{
    Rows rows(static_cast<std::size_t>(height), Bytes(static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) rows[std::size_t(y)][std::size_t(x)] = std::uint8_t((x * 7 + y * 3) % modulo);
    return rows;
}

Rows rgb_ramp(int width, int height)
{
    Rows rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[std::size_t(y)].insert(rows[std::size_t(y)].end(), {std::uint8_t(x * 37 + y), std::uint8_t(y * 53 + 7),
                                                                     std::uint8_t(x * y * 11 + 200)});
    return rows;
}

Rows solid(int width, int height, Bytes rgb)
{
    Bytes row;
    for (int x = 0; x < width; ++x) row.insert(row.end(), rgb.begin(), rgb.end());
    return Rows(std::size_t(height), row);
}

Rows noise_rows(int width, int height, int bytes_per_pixel, unsigned seed)
{
    std::mt19937 random(seed);
    Rows rows(std::size_t(height), Bytes(std::size_t(width * bytes_per_pixel)));
    for (Bytes& row : rows)
        for (auto& v : row) v = std::uint8_t(random());
    return rows;
}

Rows mono_pattern(int width, int height)
{
    Rows rows(std::size_t(height), Bytes((std::size_t(width) + 7) / 8, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((x + y) % 3 == 0) rows[std::size_t(y)][std::size_t(x) / 8] |= std::uint8_t(0x80 >> (x % 8));
    return rows;
}

ScopedPic::ScopedPic()
{
    std::memset(&pic_, 0, sizeof pic_);
}
ScopedPic::~ScopedPic()
{
    zarn::release_image(&pic_);
}

void ScopedPic::set(int width, int height, int bits, const Rows& rows, const Bytes& palette_rgb)
{
    zarn::release_image(&pic_);
    pic_.width = width;
    pic_.height = height;
    pic_.bits = bits;
    pic_.colours = bits == 24 ? 0 : int(palette_rgb.size() / 3);
    std::copy(palette_rgb.begin(), palette_rgb.end(), pic_.palette);
    std::size_t total = 0;
    for (const Bytes& row : rows) total += row.size();
    pic_.pixels = static_cast<unsigned char*>(std::malloc(total ? total : 1));
    std::size_t at = 0;
    for (const Bytes& row : rows) {
        std::copy(row.begin(), row.end(), pic_.pixels + at);
        at += row.size();
    }
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name)
{
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
}

ScopedEnv::~ScopedEnv()
{
    if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
    else ::unsetenv(name_.c_str());
}

ToolRun run_tool(const std::vector<std::string>& argv)
{
    ToolRun run;
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    if (spawned == 0) {
        std::uint8_t block[65536];
        ssize_t got = 0;
        while ((got = ::read(pipe_ends[0], block, sizeof block)) > 0 || (got < 0 && errno == EINTR))
            if (got > 0) run.output.insert(run.output.end(), block, block + got);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(pipe_ends[0]);
    return run;
}

bool have_program(const std::string& name)
{
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
        if (::access((folder + name).c_str(), X_OK) == 0) return true;
    return false;
}

bool have_image_magick()
{
    static const bool present = [] {
        if (!have_program("convert")) return false;
        const ToolRun run = run_tool({"convert", "-version"});
        const std::string text(run.output.begin(), run.output.end());
        return run.status == 0 && text.find("ImageMagick") != std::string::npos;
    }();
    return present;
}

std::optional<Pnm> parse_pnm(const Bytes& data)
{
    std::size_t at = 0;
    auto skip_space = [&] {
        while (at < data.size()) {
            if (data[at] == '#')
                while (at < data.size() && data[at] != '\n') ++at;
            else if (std::isspace(data[at])) ++at;
            else break;
        }
    };
    auto number = [&]() -> int {
        skip_space();
        int value = 0;
        bool any = false;
        while (at < data.size() && std::isdigit(data[at])) {
            value = value * 10 + (data[at++] - '0');
            any = true;
        }
        return any ? value : -1;
    };
    if (data.size() < 3 || data[0] != 'P') return std::nullopt;
    const char kind = char(data[1]);
    if (kind != '4' && kind != '5' && kind != '6') return std::nullopt;
    at = 2;
    Pnm pnm;
    pnm.width = number();
    pnm.height = number();
    const int maxval = kind == '4' ? 1 : number();
    if (pnm.width < 1 || pnm.height < 1 || maxval != (kind == '4' ? 1 : 255)) return std::nullopt;
    ++at;  // the single whitespace before the samples
    const std::size_t w = std::size_t(pnm.width);
    const std::size_t row = kind == '4' ? (w + 7) / 8 : kind == '5' ? w : 3 * w;
    if (data.size() < at + row * std::size_t(pnm.height)) return std::nullopt;
    for (int y = 0; y < pnm.height; ++y, at += row) {
        Bytes rgb;
        for (std::size_t x = 0; x < w; ++x) {
            if (kind == '6') {
                const auto pixel = data.begin() + std::ptrdiff_t(at + 3 * x);
                rgb.insert(rgb.end(), pixel, pixel + 3);
                continue;
            }
            const std::uint8_t grey = kind == '5' ? data[at + x] : ((data[at + x / 8] >> (7 - x % 8)) & 1) ? 0 : 255;
            rgb.insert(rgb.end(), {grey, grey, grey});
        }
        pnm.rgb.push_back(rgb);
    }
    return pnm;
}

Bytes ppm(const Rows& rgb, int width)
{
    const std::string head = "P6\n" + std::to_string(width) + " " + std::to_string(rgb.size()) + "\n255\n";
    Bytes out(head.begin(), head.end());
    for (const Bytes& row : rgb) out.insert(out.end(), row.begin(), row.end());
    return out;
}

std::optional<Pnm> decode(const std::vector<std::string>& argv)
{
    const ToolRun run = run_tool(argv);
    if (run.status != 0) return std::nullopt;
    return parse_pnm(run.output);
}

std::optional<Pnm> decode_shell(const std::string& command)
{
    return decode(std::vector<std::string>{"sh", "-c", command});
}

bool make(const std::string& command, const std::string& path)
{
    return run_tool({"sh", "-c", command + " > " + path}).status == 0;
}

int largest_difference(const Rows& a, const Rows& b)
{
    if (a.size() != b.size()) return 1000;
    int worst = 0;
    for (std::size_t y = 0; y < a.size(); ++y) {
        if (a[y].size() != b[y].size()) return 1000;
        for (std::size_t x = 0; x < a[y].size(); ++x) worst = std::max(worst, std::abs(int(a[y][x]) - int(b[y][x])));
    }
    return worst;
}

int read_bytes(const Bytes& file, ScopedPic& pic, const std::string& name,
               const std::function<int(const char* path, PicImage* pic)>& read)
{
    const std::string path = temp_path(name);
    write_file(path, file);
    return read(path.c_str(), pic.get());
}

std::string write_picture(const std::string& name, int width, int height)
{
    const std::string path = temp_path(name);
    BmpBuilder().size(width, height).bits(24).pixels(rgb_ramp(width, height)).write(path);
    return path;
}

}  // namespace zarn::test
