// What the camera RAW module's reads share: LibRaw set up as this library reads, the upright size, the description.
#include "raw_shared.h"

#include "checked.h"
#include "exif.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#if __has_include(<omp.h>)
#include <omp.h>
#define ZARNRAW_HAS_OMP 1
#endif

namespace zarn::raw {
namespace {

constexpr std::size_t kMiB = 1 << 20;
constexpr std::size_t kReadBlock = 1 << 20;

// LibRaw's `flip` (dcraw's) as the EXIF orientation that gives the same turn.
int orientation_from_flip(int flip)
{
    switch (flip) {
    case 1: return 2;
    case 2: return 4;
    case 3: return 3;
    case 4: return 5;
    case 5: return 8;
    case 6: return 6;
    case 7: return 7;
    default: return 1;
    }
}

// LibRaw's default tells the terminal of every damaged file; the read's
// result says it here.
void ignore_data_error(void*, const char*, const int) {}

// A text field of LibRaw's, up to its first NUL or its end.
std::string field_text(const char* text, std::size_t size)
{
    return std::string(text, strnlen(text, size));
}

}  // namespace

std::unique_ptr<LibRaw> make_processor()
{
    std::unique_ptr<LibRaw> processor(new (std::nothrow) LibRaw(LIBRAW_OPTIONS_NONE));
    if (!processor) return nullptr;
    processor->set_dataerror_handler(ignore_data_error, nullptr);
    libraw_output_params_t& params = processor->imgdata.params;
    params.use_camera_wb = 1;
    params.output_bps = 8;
    params.output_color = 1;  // sRGB
    params.user_flip = keep_stored_orientation() ? 0 : -1;
    // LibRaw's own working buffers (the raw samples, four 16-bit channels a
    // pixel) run several times the picture's size; they are held to a few
    // times the ceiling rather than LibRaw's 2 GiB.
    params.max_raw_memory_mb = unsigned(std::clamp<std::size_t>(4 * (max_image_bytes() / kMiB), 16, 8192));
#ifdef ZARNRAW_HAS_OMP
    omp_set_num_threads(codec_threads());
#endif
    return processor;
}

bool open_path(LibRaw& processor, const char* path)
{
    const int opened = processor.open_file(path);
    if (opened == LIBRAW_SUCCESS) return true;
    if (opened == LIBRAW_IO_ERROR) fail_to_open();
    else set_failure(Failure::NotThisFormat);
    return false;
}

bool open_bytes(LibRaw& processor, std::vector<unsigned char>& bytes)
{
    if (!bytes.empty() && processor.open_buffer(bytes.data(), bytes.size()) == LIBRAW_SUCCESS) return true;
    set_failure(Failure::NotThisFormat);
    return false;
}

bool read_all(std::FILE* stream, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    std::size_t got = 0;
    for (;;) {
        if (bytes.size() - got < kReadBlock) {
            if (bytes.size() + kReadBlock > max_image_bytes()) {
                set_failure(Failure::TooLarge);
                return false;
            }
            bytes.resize(bytes.size() + kReadBlock);
        }
        const std::size_t read = std::fread(bytes.data() + got, 1, bytes.size() - got, stream);
        got += read;
        if (read == 0) break;
    }
    bytes.resize(got);
    return !std::ferror(stream);
}

bool geometry_of(const LibRaw& processor, Geometry& geometry)
{
    const libraw_image_sizes_t& sizes = processor.imgdata.sizes;
    std::int64_t width = sizes.width, height = sizes.height;
    // Pixels that are not square are stretched square, as the demosaic does.
    const double aspect = sizes.pixel_aspect;
    if (aspect > 0 && std::isfinite(aspect) && aspect != 1.0) {
        if (aspect < 1) height = std::int64_t(double(height) / aspect + 0.5);
        else width = std::int64_t(double(width) * aspect + 0.5);
    }
    geometry.orientation = keep_stored_orientation() ? 1 : orientation_from_flip(sizes.flip);
    if (orientation_swaps_sides(geometry.orientation)) std::swap(width, height);
    if (width <= 0 || height <= 0) {
        set_failure(Failure::Unsupported);
        return false;
    }
    if (!image_bytes(width, height, 24)) {
        fail_too_large(width, height, 24);
        return false;
    }
    geometry.width = width;
    geometry.height = height;
    return true;
}

void describe_raw(PicImage* pic, const LibRaw& processor, std::int64_t width, std::int64_t height)
{
    const libraw_iparams_t& names = processor.imgdata.idata;
    std::string camera = field_text(names.make, sizeof names.make);
    const std::string model = field_text(names.model, sizeof names.model);
    if (!model.empty()) camera += (camera.empty() ? "" : " ") + model;
    describe(pic, "RAW : %lldx%lld%s%s", static_cast<long long>(width), static_cast<long long>(height),
             camera.empty() ? "" : " ", camera.c_str());
}

bool take_bitmap(const libraw_processed_image_t& image, PicImage* pic)
{
    const int colours = image.colors;
    if (image.type != LIBRAW_IMAGE_BITMAP || image.bits != 8 || (colours != 1 && colours != 3)) return false;
    const std::size_t width = image.width, height = image.height;
    const auto needed = checked_mul(width * std::size_t(colours), height);
    if (!needed || *needed > image.data_size) return false;
    PixelBlock pixels = allocate_image(std::int64_t(width), std::int64_t(height), 24);
    if (!pixels) return false;
    for (std::size_t y = 0; y < height; ++y) {
        const unsigned char* in = image.data + y * width * std::size_t(colours);
        unsigned char* out = pixels.get() + y * width * 3;
        if (colours == 3) {
            std::memcpy(out, in, width * 3);
        } else {
            for (std::size_t x = 0; x < width; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
        }
        report_progress(pic, std::int64_t(y) + 1, std::int64_t(height));
    }
    pic->pixels = pixels.release();
    pic->width = int32_t(width);
    pic->height = int32_t(height);
    pic->bits = 24;
    pic->colours = 0;
    return true;
}

}  // namespace zarn::raw
