// A minimal DNG written byte by byte: a little-endian TIFF whose first IFD holds an 8-bit RGB preview
// (uncompressed, or JPEG bytes given whole) and whose one SubIFD holds a 16-bit RGGB mosaic.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarn::test {

struct DngPicture {
    int width = 64, height = 48;  // the mosaic
    int orientation = 1;          // TIFF/EXIF 1 to 8
    std::string make = "Zarn", model = "Test Camera";
    // The scene's linear red, green and blue at a pixel, 0 to 65535; the
    // mosaic keeps the one its filter colour sees (RGGB).
    std::function<void(int x, int y, std::uint16_t rgb[3])> scene = [](int x, int y, std::uint16_t rgb[3]) {
        rgb[0] = std::uint16_t(x * 60000 / 64 % 60000);
        rgb[1] = std::uint16_t(y * 50000 / 48 % 50000);
        rgb[2] = 20000;
    };
    int preview_width = 16, preview_height = 12;
    std::vector<std::uint8_t> preview_rgb;   // preview_width x preview_height x 3; none when empty
    std::vector<std::uint8_t> preview_jpeg;  // used instead of preview_rgb when set
};

namespace dng_detail {

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::vector<std::uint8_t> value;
};

inline void put(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
inline Entry shorts(std::uint16_t tag, std::vector<std::uint32_t> values)
{
    Entry e{tag, 3, std::uint32_t(values.size()), {}};
    for (auto v : values) put(e.value, v, 2);
    return e;
}
inline Entry longs(std::uint16_t tag, std::vector<std::uint32_t> values)
{
    Entry e{tag, 4, std::uint32_t(values.size()), {}};
    for (auto v : values) put(e.value, v, 4);
    return e;
}
inline Entry bytes(std::uint16_t tag, std::vector<std::uint8_t> values)
{
    return Entry{tag, 1, std::uint32_t(values.size()), values};
}
inline Entry ascii(std::uint16_t tag, const std::string& text)
{
    Entry e{tag, 2, std::uint32_t(text.size() + 1), {text.begin(), text.end()}};
    e.value.push_back(0);
    return e;
}
// Signed (type 10) or unsigned (type 5) rationals over 10000.
inline Entry rationals(std::uint16_t tag, std::uint16_t type, std::vector<double> values)
{
    Entry e{tag, type, std::uint32_t(values.size()), {}};
    for (double v : values) {
        put(e.value, std::uint32_t(std::int32_t(v * 10000 + (v < 0 ? -0.5 : 0.5))), 4);
        put(e.value, 10000, 4);
    }
    return e;
}

// Appends one IFD at the end of `out` (entries in tag order), its large values
// after it; the next-IFD link is 0. Returns where the first value of each
// tag in `wanted` is written, for offsets known only later.
inline std::vector<std::size_t> write_ifd(std::vector<std::uint8_t>& out, std::vector<Entry> entries,
                                          const std::vector<std::uint16_t>& wanted)
{
    const std::size_t start = out.size();
    std::size_t extra = start + 2 + entries.size() * 12 + 4;
    std::vector<std::uint8_t> tail;
    std::vector<std::size_t> patch(wanted.size(), 0);
    const auto note = [&](std::uint16_t tag, std::size_t at) {
        for (std::size_t i = 0; i < wanted.size(); ++i)
            if (wanted[i] == tag) patch[i] = at;
    };
    put(out, entries.size(), 2);
    for (Entry& e : entries) {
        put(out, e.tag, 2);
        put(out, e.type, 2);
        put(out, e.count, 4);
        if (e.value.size() <= 4) {
            note(e.tag, out.size());
            e.value.resize(4, 0);
            out.insert(out.end(), e.value.begin(), e.value.end());
        } else {
            note(e.tag, extra + tail.size());
            put(out, extra + tail.size(), 4);
            tail.insert(tail.end(), e.value.begin(), e.value.end());
            if (tail.size() % 2) tail.push_back(0);
        }
    }
    put(out, 0, 4);
    out.insert(out.end(), tail.begin(), tail.end());
    return patch;
}

inline void patch32(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value)
{
    for (int i = 0; i < 4; ++i) out[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
}

}  // namespace dng_detail

inline std::vector<std::uint8_t> make_dng(const DngPicture& picture)
{
    using namespace dng_detail;
    const bool jpeg = !picture.preview_jpeg.empty();
    const std::vector<std::uint8_t>& preview = jpeg ? picture.preview_jpeg : picture.preview_rgb;
    const bool has_preview = !preview.empty();
    const auto pw = std::uint32_t(has_preview ? picture.preview_width : 1);
    const auto ph = std::uint32_t(has_preview ? picture.preview_height : 1);
    std::vector<std::uint8_t> preview_bytes = has_preview ? preview : std::vector<std::uint8_t>(3, 0);

    std::vector<std::uint8_t> out{'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto w = std::uint32_t(picture.width), h = std::uint32_t(picture.height);
    // sRGB's matrix from XYZ: the camera sees linear sRGB, and D65 is neutral.
    std::vector<Entry> first{
        longs(254, {has_preview ? 1u : 0u}),
        longs(256, {pw}),
        longs(257, {ph}),
        shorts(258, {8, 8, 8}),
        shorts(259, {jpeg ? 7u : 1u}),
        shorts(262, {jpeg ? 6u : 2u}),
        ascii(271, picture.make),
        ascii(272, picture.model),
        longs(273, {0}),
        shorts(274, {std::uint32_t(picture.orientation)}),
        shorts(277, {3}),
        longs(278, {ph}),
        longs(279, {std::uint32_t(preview_bytes.size())}),
        shorts(284, {1}),
        longs(330, {0}),
        bytes(50706, {1, 4, 0, 0}),
        ascii(50708, picture.make + " " + picture.model),
        rationals(50721, 10, {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570}),
        rationals(50728, 5, {1, 1, 1}),
        shorts(50778, {21}),
    };
    // The strip offset and the SubIFD link are written once the layout is known.
    const std::vector<std::size_t> links = write_ifd(out, first, {273, 330});
    patch32(out, links[0], out.size());
    out.insert(out.end(), preview_bytes.begin(), preview_bytes.end());
    if (out.size() % 2) out.push_back(0);

    patch32(out, links[1], out.size());
    std::vector<Entry> raw{
        longs(254, {0}),
        longs(256, {w}),
        longs(257, {h}),
        shorts(258, {16}),
        shorts(259, {1}),
        shorts(262, {32803}),
        longs(273, {0}),
        shorts(277, {1}),
        longs(278, {h}),
        longs(279, {w * h * 2}),
        shorts(284, {1}),
        shorts(33421, {2, 2}),
        bytes(33422, {0, 1, 1, 2}),
        longs(50717, {65535}),
    };
    const std::size_t raw_strip = write_ifd(out, raw, {273})[0];
    patch32(out, raw_strip, out.size());
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            std::uint16_t rgb[3] = {};
            picture.scene(x, y, rgb);
            const int colour = (y % 2) + (x % 2);  // RGGB: 0 red, 1 green, 2 blue
            put(out, rgb[colour], 2);
        }
    return out;
}

}  // namespace zarn::test
