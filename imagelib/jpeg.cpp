// JPEG/JFIF through libjpeg: scaled colour, CMYK and grey reading set upright by Exif and turned into
// sRGB by an embedded profile; colour and grey writing.
#include "checked.h"
#include "codecs.h"
#include "colour_profile.h"
#include "progress.h"
#include "exif.h"
#include "record.h"
#include "shared_rules.h"
#include "write_path.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace zarn {
namespace {

// No real file needs more scans than this; a hostile one can carry
// thousands of tiny ones, each a full pass over the coefficients.
constexpr int kMaxScans = 100;
constexpr int kRowsPerCall = 4;
// CMYK through a profile is slow work, spread over the threads in batches
// of rows of about this many pixels a thread.
constexpr std::size_t kCmykPixelsPerThread = 1u << 16;

// libjpeg's error manager with the place its errors jump back to. Nothing is
// printed: warnings are not failures (a truncated file is filled in, which
// the read reports as a warning), and errors are reported as a 0 result with
// their reason.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf recovery;
    bool ran_out;  // libjpeg met the end of the file and went on with filler
};

void jump_back(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    // An error after the end of the file is that end, whatever libjpeg calls it.
    const int code = errors->ran_out ? int(JERR_INPUT_EMPTY) : cinfo->err->msg_code;
    switch (code) {
    case JERR_INPUT_EMPTY: set_failure(Failure::Truncated); break;
    case JERR_OUT_OF_MEMORY: set_failure(Failure::OutOfMemory); break;
    default: set_failure(Failure::NotThisFormat); break;
    }
    std::longjmp(errors->recovery, 1);
}

void note_message(j_common_ptr cinfo, int level)
{
    if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<JpegErrors*>(cinfo->err)->ran_out = true;
        warn_filled_in();
    }
}
void ignore_output(j_common_ptr) {}

jpeg_error_mgr* install_errors(JpegErrors& errors)
{
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jump_back;
    errors.manager.emit_message = note_message;
    errors.manager.output_message = ignore_output;
    return &errors.manager;
}

// libjpeg calls its progress hook between scans while it buffers a
// multi-scan file; that is where the scan count is checked.
void limit_scans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        cinfo->err->error_exit(cinfo);
    }
}

struct Scale {
    unsigned denominator;
    long percent;
};

Scale scale_from_argument(int argument)
{
    switch (argument) {
    case 1:
    case 50: return {2, 50};
    case 2:
    case 25: return {4, 25};
    case 3:
    case 12: return {8, 12};
    default: return {1, 100};
    }
}

// Everything a read owns, kept by the caller of decode() so that a jump out
// of libjpeg frees it all in one place.
struct JpegRead {
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    jpeg_progress_mgr progress{};
    PixelBlock pixels;
    std::vector<JSAMPLE> cmyk_rows;             // four-channel rows on their way to RGB
    int orientation = 1;                        // the Exif tag: how the stored pixels are turned
    std::vector<std::uint8_t> icc;              // the embedded profile, all its segments joined
    SrgbTransform colours;                      // from that profile to sRGB; empty when there is nothing to do
    bool convert_whole_block = false;           // the 24-bit pixels are turned to sRGB at the end, on several threads
    JDIMENSION cmyk_batch_rows = kRowsPerCall;  // rows of CMYK held before they are made RGB
};

// Ink values to RGB. Files with Adobe's marker (every print workflow's, and
// what libjpeg writes for four channels) store them inverted: 255 means no
// ink. The YCCK transform is undone by libjpeg before this.
void cmyk_to_rgb(const JSAMPLE* cmyk, unsigned char* rgb, std::size_t width, bool inverted)
{
    for (std::size_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = static_cast<unsigned char>((v * k + 127) / 255);
        }
    }
}

bool allocate_cmyk_rows(JpegRead& job, std::size_t bytes)
{
    try {
        job.cmyk_rows.assign(bytes, 0);
        return true;
    } catch (const std::bad_alloc&) {
        set_failure(Failure::OutOfMemory);
        return false;
    }
}

bool allocate_block(JpegRead& job, JDIMENSION width, JDIMENSION height, int bits)
{
    job.pixels = allocate_image(width, height, bits);
    return job.pixels != nullptr;
}

// The orientation in the first Exif APP1 segment; other APP1 segments (XMP)
// are passed over.
int orientation_from_markers(j_decompress_ptr cinfo)
{
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < 6) continue;
        if (std::memcmp(marker->data, "Exif\0\0", 6) != 0) continue;
        return exif_orientation(std::span<const std::uint8_t>(marker->data, marker->data_length));
    }
    return 1;
}

// The embedded profile into job.icc; libjpeg checks the segments' numbering
// and leaves a broken set out, with a warning.
void take_icc_profile(JpegRead& job)
{
    JOCTET* data = nullptr;
    unsigned int length = 0;
    if (!jpeg_read_icc_profile(&job.cinfo, &data, &length) || !data) return;
    const std::unique_ptr<JOCTET, decltype(&std::free)> owned(data, &std::free);
    try {
        job.icc.assign(data, data + length);
    } catch (const std::bad_alloc&) {
        job.icc.clear();  // read as if untagged
    }
}

// The transform for the pixels libjpeg hands out; CMYK as Adobe's marker
// says it is stored. A profile for another kind of pixel gives none.
void choose_colours(JpegRead& job, bool four_channels)
{
    if (job.icc.empty()) return;
    const int components = job.cinfo.output_components;
    const ProfileInput input = four_channels
                                   ? (job.cinfo.saw_Adobe_marker ? ProfileInput::InvertedCmyk : ProfileInput::Cmyk)
                               : components == 1 ? ProfileInput::Grey
                                                 : ProfileInput::Rgb;
    try {
        job.colours = SrgbTransform::from_icc(job.icc, input);
    } catch (const std::bad_alloc&) {
        job.colours = SrgbTransform();
    }
    // Row by row, the pixels are converted while they are still in the
    // cache; a big picture on several threads is quicker done whole.
    const std::size_t width = job.cinfo.output_width, threads = static_cast<std::size_t>(codec_threads());
    job.convert_whole_block = job.colours && input == ProfileInput::Rgb && threads > 1 &&
                              width * job.cinfo.output_height >= (std::size_t(1) << 20);
    if (job.colours && four_channels && threads > 1 && width > 0) {
        const std::size_t rows =
            std::min<std::size_t>((kCmykPixelsPerThread * threads + width - 1) / width, job.cinfo.output_height);
        job.cmyk_batch_rows = static_cast<JDIMENSION>(std::max<std::size_t>(rows, kRowsPerCall));
    }
}

// `count` rows held in job.cmyk_rows to RGB, from row `first` of the picture.
void cmyk_rows_to_rgb(JpegRead& job, JDIMENSION first, JDIMENSION count, std::size_t width)
{
    unsigned char* rgb = job.pixels.get() + std::size_t(first) * 3 * width;
    if (job.colours) {
        job.colours.convert(job.cmyk_rows.data(), rgb, std::size_t(count) * width);
        return;
    }
    for (JDIMENSION i = 0; i < count; ++i)
        cmyk_to_rgb(job.cmyk_rows.data() + std::size_t(i) * 4 * width, rgb + std::size_t(i) * 3 * width, width,
                    job.cinfo.saw_Adobe_marker);
}

// Holds the setjmp, so it keeps no object with a destructor and reads no
// local after the jump; all state lives in `job` and `pic`.
bool decode(JpegRead& job, std::FILE* stream, PicImage* pic, Scale scale)
{
    if (setjmp(job.errors.recovery)) return false;
    j_decompress_ptr cinfo = &job.cinfo;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = static_cast<long>(std::min<std::size_t>(max_image_bytes(), LONG_MAX));
    job.progress.progress_monitor = limit_scans;
    cinfo->progress = &job.progress;
    jpeg_stdio_src(cinfo, stream);
    const bool upright = !keep_stored_orientation();
    if (upright) jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    const bool to_srgb = !keep_stored_colours();
    if (to_srgb) jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    if (upright) job.orientation = orientation_from_markers(cinfo);
    if (to_srgb) take_icc_profile(job);
    cinfo->scale_num = 1;
    cinfo->scale_denom = scale.denominator;
    // Four-channel files come out as CMYK (libjpeg turns YCCK into it) and
    // are made RGB here.
    const bool four_channels = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    if (four_channels) cinfo->out_color_space = JCS_CMYK;
    jpeg_calc_output_dimensions(cinfo);

    const int components = cinfo->output_components;
    if (components != 1 && components != 3 && !(four_channels && components == 4)) {
        set_failure(Failure::Unsupported);
        return false;
    }
    choose_colours(job, four_channels);
    const int bits = components == 1 ? 8 : 24;
    if (!allocate_block(job, cinfo->output_width, cinfo->output_height, bits)) return false;
    const std::size_t width = cinfo->output_width;
    if (four_channels && !allocate_cmyk_rows(job, 4 * width * job.cmyk_batch_rows)) return false;

    jpeg_start_decompress(cinfo);
    const std::size_t row_bytes = width * std::size_t(bits / 8);
    const JDIMENSION height = cinfo->output_height;
    JDIMENSION held_from = 0;  // four channels: the picture's row at the start of cmyk_rows
    while (cinfo->output_scanline < height) {
        const JDIMENSION first = cinfo->output_scanline;
        JSAMPROW rows[kRowsPerCall];
        JDIMENSION wanted = std::min<JDIMENSION>(kRowsPerCall, height - first);
        if (four_channels) wanted = std::min(wanted, held_from + job.cmyk_batch_rows - first);
        for (JDIMENSION i = 0; i < wanted; ++i)
            rows[i] = four_channels ? job.cmyk_rows.data() + std::size_t(first - held_from + i) * 4 * width
                                    : job.pixels.get() + (first + i) * row_bytes;
        const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, wanted);
        if (got == 0) return refuse(true);
        const JDIMENSION next = first + got;
        if (four_channels && (next - held_from == job.cmyk_batch_rows || next == height)) {
            cmyk_rows_to_rgb(job, held_from, next - held_from, width);
            held_from = next;
        } else if (bits == 24 && !four_channels && job.colours && !job.convert_whole_block) {
            unsigned char* done = job.pixels.get() + first * row_bytes;
            job.colours.convert(done, done, got * width);
        }
        for (JDIMENSION i = 1; i <= got; ++i) report_progress(pic, std::int64_t(first) + i, height);
    }
    // jpeg_finish_decompress is left out on purpose: the picture is whole,
    // and junk after it must not turn a good read into a failure.

    if (job.convert_whole_block) job.colours.convert(job.pixels.get(), job.pixels.get(), std::size_t(height) * width);

    pic->width = int32_t(cinfo->output_width);
    pic->height = int32_t(height);
    pic->bits = bits;
    return true;
}

// Turns the decoded pixels upright: a new block, the old one freed.
bool set_upright(JpegRead& job, PicImage* pic)
{
    if (job.orientation == 1) return true;
    const std::size_t width = std::size_t(pic->width), height = std::size_t(pic->height);
    PixelBlock turned = upright_pixels(job.pixels.get(), width, height, pic->bits == 24 ? 3 : 1, job.orientation);
    if (!turned) {
        set_failure(Failure::OutOfMemory);
        return false;
    }
    job.pixels = std::move(turned);
    if (orientation_swaps_sides(job.orientation)) std::swap(pic->width, pic->height);
    return true;
}

// The description gives the size as shown, upright, and the profile the
// pixels were turned into sRGB from; a grey picture's palette goes through
// its grey profile.
void finish_record(PicImage* pic, Scale scale, const SrgbTransform& colours)
{
    pic->colours = 0;
    describe(pic, "Jpeg : %ldx%ld (%ld%%) - 24bit", long(pic->width), long(pic->height), scale.percent);
    if (pic->bits == 8) {
        pic->colours = 256;
        set_grey_palette(pic);
        describe(pic, "Jpeg : %ldx%ld (%ld%%) - 256 Greyscale", long(pic->width), long(pic->height), scale.percent);
        if (colours) convert_palette_to_srgb(pic, colours);
    }
    if (colours) describe_colours(pic, colours.name());
}

struct JpegWrite {
    jpeg_compress_struct cinfo{};
    JpegErrors errors{};
};

// Holds the setjmp; see decode(). `rows` gives the picture's rows top down,
// red, green and blue.
bool encode(JpegWrite& job, std::FILE* stream, const PicImage* pic, int quality, bool greyscale, const JpegRows& rows)
{
    if (setjmp(job.errors.recovery)) return false;
    j_compress_ptr cinfo = &job.cinfo;
    jpeg_create_compress(cinfo);
    jpeg_stdio_dest(cinfo, stream);
    cinfo->image_width = JDIMENSION(pic->width);
    cinfo->image_height = JDIMENSION(pic->height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    if (greyscale) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    for (std::size_t y = 0; y < std::size_t(pic->height); ++y) {
        const unsigned char* source = rows(y);
        if (!source) return false;
        JSAMPROW row = const_cast<JSAMPROW>(source);  // libjpeg only reads it
        jpeg_write_scanlines(cinfo, &row, 1);
        report_progress(pic, std::int64_t(y + 1), pic->height);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

int read_jpeg_stream(std::FILE* stream, PicImage* pic, int scale)
{
    JpegRead job;
    job.cinfo.err = install_errors(job.errors);
    const Scale chosen = scale_from_argument(scale);
    const bool decoded = decode(job, stream, pic, chosen);
    jpeg_destroy_decompress(&job.cinfo);
    if (!decoded || !set_upright(job, pic)) return 0;
    finish_record(pic, chosen, job.colours);
    pic->pixels = job.pixels.release();
    return 1;
}

int read_jpeg(const char* path, PicImage* pic, int scale)
{
    return read_path(path, pic,
                     [scale](std::FILE* stream, PicImage* record) { return read_jpeg_stream(stream, record, scale); });
}

int write_jpeg_rows(const char* path, PicImage* pic, int quality, bool greyscale, const JpegRows& rows)
{
    JpegWrite job;
    OutputFile out(path, pic);
    if (!out) return 0;
    job.cinfo.err = install_errors(job.errors);
    const bool encoded = encode(job, out.get(), pic, quality, greyscale, rows);
    jpeg_destroy_compress(&job.cinfo);
    if (!encoded) return 0;
    return out.commit() ? 1 : 0;
}

int write_jpeg(const char* path, PicImage* pic, int quality, bool greyscale)
{
    if (pic->bits == 1) return 0;
    if (!pic->pixels || (pic->bits != 24 && (pic->bits < 2 || pic->bits > 8))) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;

    const std::size_t width = std::size_t(pic->width);
    if (pic->bits == 24)
        return write_jpeg_rows(path, pic, quality, greyscale,
                               [pic, width](std::size_t y) { return pic->pixels + y * 3 * width; });
    // A palette row looked up into red, green, blue.
    std::vector<unsigned char> rgb_row(3 * width);
    return write_jpeg_rows(path, pic, quality, greyscale, [pic, width, &rgb_row](std::size_t y) {
        const unsigned char* source = pic->pixels + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            const unsigned char* entry = pic->palette + 3 * std::size_t(source[x]);
            rgb_row[3 * x] = entry[0];
            rgb_row[3 * x + 1] = entry[1];
            rgb_row[3 * x + 2] = entry[2];
        }
        return static_cast<const unsigned char*>(rgb_row.data());
    });
}

}  // namespace zarn
