// HEIF module, reading: libheif decodes the primary picture to 8-bit or high-depth RGB, which becomes the record in
// sRGB.
#include "zarnheif.h"

#include "checked.h"
#include "colour_profile.h"
#include "exif.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <libheif/heif.h>

namespace zarn::heif {
namespace {

// The bytes libheif is shown to name the file's kind: the ftyp box with its
// list of compatible brands fits in far fewer.
constexpr std::size_t kBrandBytes = 512;

// libheif reads the file through these, relative to where the stream stood
// when the read began, and never past its end.
struct Source {
    std::FILE* stream = nullptr;
    std::int64_t start = 0;
    std::int64_t size = 0;
};

std::int64_t source_position(void* userdata)
{
    const auto* source = static_cast<Source*>(userdata);
    return std::int64_t(ftello(source->stream)) - source->start;
}

int source_read(void* data, std::size_t size, void* userdata)
{
    const auto* source = static_cast<Source*>(userdata);
    return std::fread(data, 1, size, source->stream) == size ? 0 : 1;
}

int source_seek(std::int64_t position, void* userdata)
{
    const auto* source = static_cast<Source*>(userdata);
    if (position < 0 || position > source->size) return 1;
    return fseeko(source->stream, off_t(source->start + position), SEEK_SET) == 0 ? 0 : 1;
}

heif_reader_grow_status source_wait(std::int64_t target_size, void* userdata)
{
    const auto* source = static_cast<Source*>(userdata);
    return target_size <= source->size ? heif_reader_grow_status_size_reached : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader kStreamReader{1, source_position, source_read, source_seek, source_wait};

// What the description calls the file: by its codec, as the brands tell it.
enum class Kind { Heic, Avif, Heif };

Kind kind_of(const std::uint8_t* head, std::size_t bytes)
{
    const int length = int(bytes);
    const heif_brand2 main = heif_read_main_brand(head, length);
    const auto is = [&](const char* fourcc) { return main == heif_fourcc_to_brand(fourcc); };
    const auto lists = [&](const char* fourcc) { return heif_has_compatible_brand(head, length, fourcc) == 1; };
    if (is("avif") || is("avis")) return Kind::Avif;
    for (const char* brand : {"heic", "heix", "heim", "heis", "hevc", "hevx"})
        if (is(brand)) return Kind::Heic;
    if (lists("heic") || lists("heix")) return Kind::Heic;
    if (lists("avif")) return Kind::Avif;
    return Kind::Heif;
}

const char* kind_name(Kind kind)
{
    return kind == Kind::Heic ? "HEIC" : kind == Kind::Avif ? "AVIF" : "HEIF";
}

// Each read holds libheif open for its own length; the calls are counted, so
// reads on several threads at once are fine.
class LibraryUse {
public:
    LibraryUse() : ok_(heif_init(nullptr).code == heif_error_Ok) {}
    ~LibraryUse()
    {
        if (ok_) heif_deinit();
    }
    LibraryUse(const LibraryUse&) = delete;
    LibraryUse& operator=(const LibraryUse&) = delete;
    explicit operator bool() const { return ok_; }

private:
    bool ok_;
};

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleFree {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageFree {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleFree>;
using Image = std::unique_ptr<heif_image, ImageFree>;
using Options = std::unique_ptr<heif_decoding_options, OptionsFree>;

// A picture of this size fits the record, and also the stored size before
// any crop or turn, which libheif decodes first.
bool fits_ceiling(const heif_image_handle* handle)
{
    const int width = heif_image_handle_get_width(handle);
    const int height = heif_image_handle_get_height(handle);
    if (width <= 0 || height <= 0) return refuse(false);
    const int stored_width = std::max(heif_image_handle_get_ispe_width(handle), width);
    const int stored_height = std::max(heif_image_handle_get_ispe_height(handle), height);
    const auto bytes = checked_mul(std::size_t(stored_width) * std::size_t(stored_height), 3);
    if (!bytes || *bytes > max_image_bytes()) {
        fail_too_large(stored_width, stored_height, 24);
        return false;
    }
    return true;
}

// Samples of more than 8 bits, little-endian pairs, rounded to 8 as an 8-bit
// PNG of them would be.
inline unsigned to_8_bits(const std::uint8_t* sample, unsigned max)
{
    const unsigned value = std::min(unsigned(sample[0] | sample[1] << 8), max);
    return (value * 255 + max / 2) / max;
}

// Row `y` of the decoded plane into the record's RGB row, alpha laid over
// white. Plain 8-bit rows, the common case by far, are copied as they are.
void copy_row(const std::uint8_t* in, std::uint8_t* out, std::size_t width, bool deep, bool alpha, bool premultiplied,
              unsigned max)
{
    if (!deep && !alpha) {
        std::memcpy(out, in, width * 3);
        return;
    }
    const std::size_t channels = alpha ? 4 : 3;
    const std::size_t sample_bytes = deep ? 2 : 1;
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint8_t* pixel = in + x * channels * sample_bytes;
        unsigned rgba[4] = {0, 0, 0, 255};
        for (std::size_t c = 0; c < channels; ++c) rgba[c] = deep ? to_8_bits(pixel + c * 2, max) : pixel[c];
        for (std::size_t c = 0; c < 3; ++c) {
            if (!alpha) out[3 * x + c] = std::uint8_t(rgba[c]);
            else if (premultiplied) out[3 * x + c] = premultiplied_onto_white(rgba[c], rgba[3]);
            else out[3 * x + c] = onto_white(rgba[c], rgba[3]);
        }
    }
}

// libheif gives a monochrome picture as RGB with equal channels; such a
// picture (or any other whose every pixel is grey) becomes an 8-bit grey
// record, a third of the size. Nothing when some pixel has colour.
PixelBlock grey_copy(const std::uint8_t* rgb, std::size_t width, std::size_t height)
{
    const std::size_t pixels = width * height;
    for (std::size_t i = 0; i < pixels; ++i)
        if (rgb[3 * i] != rgb[3 * i + 1] || rgb[3 * i] != rgb[3 * i + 2]) return nullptr;
    PixelBlock grey = allocate_image(std::int64_t(width), std::int64_t(height), 8);
    if (!grey) return nullptr;
    for (std::size_t i = 0; i < pixels; ++i) grey.get()[i] = rgb[3 * i];
    return grey;
}

// No real profile comes near this; a longer one is not looked at.
constexpr std::size_t kMaxProfileBytes = std::size_t(16) << 20;

// The picture's colour space as a profile: its ICC profile, or one for its
// nclx codes; empty when it has neither, or names sRGB's own codes.
std::vector<std::uint8_t> profile_of(const heif_image_handle* handle)
{
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        if (size == 0 || size > kMaxProfileBytes) return {};
        std::vector<std::uint8_t> icc(size);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok) return {};
        return icc;
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx) return {};
        std::vector<std::uint8_t> profile =
            profile_from_cicp(int(nclx->color_primaries), int(nclx->transfer_characteristics));
        heif_nclx_color_profile_free(nclx);
        return profile;
    }
    default: return {};
    }
}

int decode(heif_context* context, Kind kind, PicImage* pic)
{
    heif_image_handle* raw_handle = nullptr;
    if (heif_context_get_primary_image_handle(context, &raw_handle).code != heif_error_Ok || !raw_handle)
        return refuse(false);
    const Handle handle(raw_handle);
    if (!fits_ceiling(handle.get())) return 0;

    const int depth = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const bool deep = depth > 8;
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);

    const Options options(heif_decoding_options_alloc());
    if (!options) return 0;
    // libheif turns and mirrors the picture by its irot and imir boxes unless told not to.
    options->ignore_transformations = keep_stored_orientation() ? 1 : 0;
    heif_image* raw_image = nullptr;
    const heif_error decoded = heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB, chroma, options.get());
    const Image image(raw_image);
    if (decoded.code != heif_error_Ok || !image) return refuse(decoded.subcode == heif_suberror_End_of_data);

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const std::size_t pixel_bytes = (alpha ? 4u : 3u) * (deep ? 2u : 1u);
    if (!plane || width <= 0 || height <= 0 || stride <= 0 || std::size_t(stride) / pixel_bytes < std::size_t(width))
        return refuse(false);
    const int range = deep ? heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) : 8;
    if (range < 8 || range > 16) return refuse(false);
    const unsigned max = (1u << range) - 1;
    const bool premultiplied = alpha && heif_image_is_premultiplied_alpha(image.get()) != 0;

    PixelBlock pixels = allocate_image(width, height, 24);
    if (!pixels) return 0;
    const std::size_t record_stride = std::size_t(width) * 3;
    for (int y = 0; y < height; ++y) {
        copy_row(plane + std::size_t(y) * std::size_t(stride), pixels.get() + std::size_t(y) * record_stride,
                 std::size_t(width), deep, alpha, premultiplied, max);
        report_progress(pic, y + 1, height);
    }

    PixelBlock grey = grey_copy(pixels.get(), std::size_t(width), std::size_t(height));
    const bool is_grey = grey != nullptr;
    if (is_grey) {
        pixels = std::move(grey);
        pic->bits = 8;
        pic->colours = 256;
        set_grey_palette(pic);
    } else {
        pic->bits = 24;
        pic->colours = 0;
    }
    pic->width = width;
    pic->height = height;
    pic->pixels = pixels.release();
    const std::string colours = convert_record_to_srgb(pic, profile_of(handle.get()));
    describe(pic, "%s : %dx%d %d-bit%s%s", kind_name(kind), width, height, depth > 0 ? depth : 8,
             is_grey ? " grey" : "", alpha ? " alpha" : "");
    describe_colours(pic, colours);
    return 1;
}

}  // namespace

int read_heif_stream(std::FILE* stream, PicImage* pic)
{
    Source source{stream, std::int64_t(ftello(stream)), 0};
    if (source.start < 0 || fseeko(stream, 0, SEEK_END) != 0) return refuse(false);
    source.size = std::int64_t(ftello(stream)) - source.start;
    if (source.size < 12 || fseeko(stream, off_t(source.start), SEEK_SET) != 0) return refuse(true);

    std::uint8_t head[kBrandBytes] = {};
    const std::size_t head_bytes = std::fread(head, 1, std::min(kBrandBytes, std::size_t(source.size)), stream);
    if (head_bytes < 12 || fseeko(stream, off_t(source.start), SEEK_SET) != 0) return refuse(true);
    if (heif_check_filetype(head, int(head_bytes)) == heif_filetype_no) return refuse(false);
    const Kind kind = kind_of(head, head_bytes);

    const LibraryUse library;
    if (!library) return 0;
    if (kind == Kind::Avif && !heif_have_decoder_for_format(heif_compression_AV1)) {
        set_failure(Failure::Unsupported);
        return 0;
    }
    const Context context(heif_context_alloc());
    if (!context) return 0;
    heif_context_set_max_decoding_threads(context.get(), codec_threads());
    const heif_error opened = heif_context_read_from_reader(context.get(), &kStreamReader, &source, nullptr);
    if (opened.code != heif_error_Ok) return refuse(opened.subcode == heif_suberror_End_of_data);
    return decode(context.get(), kind, pic);
}

}  // namespace zarn::heif

ZARNHEIF_EXPORT int _Pic_Read_HEIF(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] { return read_path(path, pic, heif::read_heif_stream); });
}
