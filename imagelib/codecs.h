// Every format's reader and writer, and the descriptor each format has in the table of formats.cpp.
#pragma once

#include "zarngfx.h"

#include <cstddef>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

namespace zarn {

struct ReadOptions {
    int pcd_resolution = 0;  // PhotoCD only
    int jpeg_scale = 0;      // JPEG only
};

// A reader fills the record from `path`: 1 when pixels were produced, else 0.
using ReaderFn = int (*)(const char* path, PicImage* pic, const ReadOptions& options);
// A writer stores the record at `path`: non-zero on success. `variant` picks
// among the flavours one writer offers (colour or grey, a compression).
using WriterFn = int (*)(const char* path, PicImage* pic, int variant, int quality);

// What a picture must be before a save type's writer sees it; the record is
// converted first, and a conversion that runs out of memory fails the save.
enum class SaveNeeds {
    Anything,
    AtMost256Colours,    // a 24-bit picture is reduced to a palette
    TwoColours,          // turned to greyscale, then to black and white
    MoreThanTwoColours,  // a two-colour picture is refused with a message
};

// One entry of the save filter: _Pic_Write's `save_type` numbers these from 1,
// across all formats, in the filter's order.
struct SaveKind {
    int type = 0;                     // 0 marks an unused place
    const char* name = nullptr;       // "Jpeg/JFIF Greyscale"
    const char* extension = nullptr;  // put on the file name: ".jpg"
    int variant = 0;                  // handed to the format's writer
    SaveNeeds needs = SaveNeeds::Anything;
};

// A reader in an outside module, loaded by name for the read and kept in
// the record; the routine is `int routine(const char* path, PicImage* pic)`.
struct OutsideReader {
    const char* module = nullptr;  // "zarnwebp" for libzarnwebp.so
    const char* routine = nullptr;
};

// Everything the library knows of one format. Detection, the format table,
// the save filter and the read and write paths all come from these.
struct FormatDescriptor {
    int code;                 // what detection answers
    int index;                // its row of the format table, 1 up; 0 for none
    const char* name;         // short, as in "not a BMP file"
    const char* description;  // the table's texts
    const char* pattern;      // also the extensions detection knows, in order; "?" is any one character
    const char* listed_as;    // its part of the "All Image Files" pattern when not `pattern`
    const char* extension;
    const char* credit;
    bool (*signature)(std::span<const unsigned char> head);  // the first bytes; null when known by name only
    ReaderFn reader;                                         // null when the reader is `outside`, or none exists
    OutsideReader outside;
    WriterFn writer;  // takes the save kinds' variants; null when none
    std::array<SaveKind, 5> saves;
};

std::span<const FormatDescriptor> format_descriptors();
// The save kind of a save type, null when there is none.
const SaveKind* save_kind(int save_type);

// The format code the first bytes of a file show (up to 12 are looked at), 0 for none.
int format_from_signature(const unsigned char* head, std::size_t size);

// Where _Pic_Write puts the save type's extension: at the last dot of the
// file-name part of `path` (after its last slash), or at its end when the
// name has none or only starts with a dot.
std::size_t save_extension_start(std::string_view path);

// bmp.cpp
int read_bmp(const char* path, PicImage* pic);
int read_bmp_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_bmp(const char* path, PicImage* pic);
// An uncompressed 24-bit BMP converted to save type 1 (BMP) or 2 and 3 (JPEG)
// a batch of rows at a time, without a pixel block: the file that reading it
// into the record and writing that would give, and the record's description.
// `output` gets the type's extension as _Pic_Write gives it.
enum class Streamed { NotTried, Written, ReadFailed, WriteFailed };
Streamed stream_bmp_conversion(const char* input, char* output, PicImage* pic, int save_type, int quality);

// jpeg.cpp; `scale` is the JPEG scale argument of _Pic_Read
int read_jpeg(const char* path, PicImage* pic, int scale);
int read_jpeg_stream(std::FILE* stream, PicImage* pic, int scale);
int write_jpeg(const char* path, PicImage* pic, int quality, bool greyscale);
// The picture of pic's width and height whose rows, red, green and blue, `rows`
// gives top down (a null row fails the write); pic->pixels is not looked at.
using JpegRows = std::function<const unsigned char*(std::size_t y)>;
int write_jpeg_rows(const char* path, PicImage* pic, int quality, bool greyscale, const JpegRows& rows);

// gif.cpp: the first image of a GIF file; one-image GIF87a out (1 to 8 bits).
int read_gif(const char* path, PicImage* pic);
int read_gif_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_gif(const char* path, PicImage* pic);

// gif_frames.cpp: the images of an animated GIF in turn, each the whole
// logical screen over white, the earlier ones disposed of as the file asks.
// The stream stays the caller's and must outlive the frames.
class GifFrames;
struct GifFramesCloser {
    void operator()(GifFrames* frames) const;
};
using GifFramesPtr = std::unique_ptr<GifFrames, GifFramesCloser>;
// Null when the stream is no GIF or holds fewer than two good images.
GifFramesPtr open_gif_frames(std::FILE* stream);
// The next frame into `frame` as a 24-bit record (its pixels replaced) and
// its delay in ms; after the last good image the first again. 0 on failure.
int next_gif_frame(GifFrames& frames, PicImage* frame, std::int32_t* delay_ms);
// Opens the stream's frames and reads `count` of them, the last into `pic`.
int read_gif_frames_stream(std::FILE* stream, PicImage* pic, int count);

// pbmplus.cpp: P1 to P6 in; `variant` 2 writes PPM, 1 PGM, 0 PBM.
int read_pbm(const char* path, PicImage* pic);
int read_pbm_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_pbm(const char* path, PicImage* pic, int variant);

// pcx.cpp: 16, 256 and 24-bit pictures; no writer.
int read_pcx(const char* path, PicImage* pic);
int read_pcx_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start

// targa.cpp: colour-mapped, true colour, grey and two-colour; no writer.
int read_targa(const char* path, PicImage* pic);
int read_targa_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start

// photocd.cpp: `resolution` 1 is 192x128, 2 is 384x256, anything else 768x512.
int read_photocd(const char* path, PicImage* pic, int resolution);
int read_photocd_stream(std::FILE* stream, PicImage* pic, int resolution);

// iff.cpp: ILBM and PBM in, uncompressed ILBM out (24-bit as hold-and-modify).
int read_iff(const char* path, PicImage* pic);
int read_iff_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_iff(const char* path, PicImage* pic);
// Unpacks ByteRun1 from `source` at `at` until `out` is full; false when
// either side would overrun. `at` is advanced past what was used.
bool unpack_byterun1(std::span<const std::uint8_t> source, std::size_t& at, std::span<std::uint8_t> out);
// A 24-bit record turned in place into 8-plane hold-and-modify codes over a 64-step grey palette.
bool ham_encode(PicImage* pic);

// texture.cpp: 256 x 256 indices into the fixed texture palette.
int read_texture(const char* path, PicImage* pic);
int read_texture_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_texture(const char* path, PicImage* pic);

// outside_modules.cpp: PNG and TIFF through the zarnpng and zarntiff modules.
// The results are the modules' own.
int read_png(const char* path, PicImage* pic);
int write_png(const char* path, PicImage* pic);
int read_tiff(const char* path, PicImage* pic);
int write_tiff(const char* path, PicImage* pic, int compression);

// The formats past the first twelve rows, each in an outside module of its
// own: zarnwebp, zarnavif, zarnheif, zarnjxl and zarnraw. A reader is
// `int routine(const char* path, PicImage* pic)`, its module kept in
// pic->extra_module; a writer is `int routine(const char* path, PicImage*
// pic, int quality, int lossless)` and gets any kind of record (two-colour,
// palette, 24-bit), `quality` 1 to 100 or else the module's default. A
// missing module or routine fails with Failure::NoModule.
bool module_present(const char* module);
int read_with_module(const char* path, PicImage* pic, const char* module, const char* routine);
int write_with_module(const char* path, PicImage* pic, const char* module, const char* routine, int quality,
                      bool lossless);
// A PNG with tEXt entries (`count` pairs of Latin-1 `keys` and `values`)
// through zarnpng's `_Pic_Write_PNG_Text`, compressed for speed: the
// thumbnail cache's files. The module stays loaded once it is found.
int write_png_text(const char* path, PicImage* pic, const char* const* keys, const char* const* values, int count);
// A camera RAW's embedded preview through zarnraw's
// `int _Pic_Read_RAW_Preview(const char*, PicImage*, int32_t* full_width, int32_t* full_height)`.
int read_raw_preview(const char* path, PicImage* pic, std::int32_t* full_width, std::int32_t* full_height);

}  // namespace zarn
