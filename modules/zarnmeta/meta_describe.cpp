// _Meta_Describe: the information panel's lines from a picture's EXIF, XMP and colour profile.
#include "meta_file.h"
#include "zarnmeta.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <lcms2.h>

namespace zarn::meta {
namespace {

std::string trimmed(std::string text)
{
    const auto blank = [](unsigned char c) { return std::isspace(c) || c == 0; };
    while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(static_cast<unsigned char>(text[start]))) ++start;
    return text.substr(start);
}

// One line of the panel's text; values never carry the separators.
void add(std::string& text, const char* label, std::string value)
{
    value = trimmed(std::move(value));
    if (value.empty()) return;
    std::ranges::replace(value, '\t', ' ');
    std::ranges::replace(value, '\n', ' ');
    std::ranges::replace(value, '\r', ' ');
    text += label;
    text += '\t';
    text += value;
    text += '\n';
}

const Exiv2::Exifdatum* exif_entry(const Exiv2::ExifData& exif, const char* key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    return found == exif.end() || found->count() == 0 ? nullptr : &*found;
}

std::string exif_text(const Exiv2::ExifData& exif, const char* key)
{
    const Exiv2::Exifdatum* entry = exif_entry(exif, key);
    return entry ? trimmed(entry->toString()) : std::string();
}

std::string exif_printed(const Exiv2::ExifData& exif, const char* key)
{
    const Exiv2::Exifdatum* entry = exif_entry(exif, key);
    return entry ? entry->print(&exif) : std::string();
}

std::string xmp_text(const Exiv2::XmpData& xmp, const char* key)
{
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    return found == xmp.end() ? std::string() : trimmed(found->toString());
}

// The n-th rational of an entry as a number; nothing for a zero denominator.
std::optional<double> rational(const Exiv2::Exifdatum* entry, long n = 0)
{
    if (!entry || entry->count() <= n) return std::nullopt;
    const Exiv2::Rational value = entry->toRational(n);
    if (value.second == 0) return std::nullopt;
    return double(value.first) / double(value.second);
}

// "2.8", "8", "4.25": at most two decimals, none that are zero.
std::string short_number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string result = text;
    while (result.back() == '0') result.pop_back();
    if (result.back() == '.') result.pop_back();
    return result;
}

// EXIF's "2024:05:01 12:34:56" and XMP's "2024-05-01T12:34:56+02:00" both
// as "2024-05-01 12:34:56".
std::string date_text(std::string date)
{
    if (date.size() >= 10 && date[4] == ':' && date[7] == ':') date[4] = date[7] = '-';
    if (date.size() > 10 && date[10] == 'T') date[10] = ' ';
    return date;
}

std::string camera(const Exiv2::ExifData& exif, const Exiv2::XmpData& xmp)
{
    std::string make = exif_text(exif, "Exif.Image.Make");
    std::string model = exif_text(exif, "Exif.Image.Model");
    if (make.empty()) make = xmp_text(xmp, "Xmp.tiff.Make");
    if (model.empty()) model = xmp_text(xmp, "Xmp.tiff.Model");
    if (make.empty() || model.empty()) return make + model;
    const bool repeats =
        model.size() >= make.size() && std::equal(make.begin(), make.end(), model.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    return repeats ? model : make + " " + model;
}

std::string exposure(const Exiv2::ExifData& exif)
{
    const Exiv2::Exifdatum* entry = exif_entry(exif, "Exif.Photo.ExposureTime");
    const std::optional<double> seconds = rational(entry);
    if (!seconds || *seconds <= 0) return {};
    if (*seconds < 1) return "1/" + short_number(std::round(1 / *seconds * 10) / 10) + " s";
    return short_number(*seconds) + " s";
}

std::string focal_length(const Exiv2::ExifData& exif)
{
    const std::optional<double> length = rational(exif_entry(exif, "Exif.Photo.FocalLength"));
    if (!length || *length <= 0) return {};
    std::string text = short_number(*length) + " mm";
    const Exiv2::Exifdatum* film = exif_entry(exif, "Exif.Photo.FocalLengthIn35mmFilm");
    if (film && film->toLong() > 0) text += " (" + std::to_string(film->toLong()) + " mm in 35 mm)";
    return text;
}

// Degrees, minutes and seconds as three rationals, and the hemisphere's letter.
std::optional<double> degrees(const Exiv2::ExifData& exif, const char* key)
{
    const Exiv2::Exifdatum* entry = exif_entry(exif, key);
    double total = 0, unit = 1;
    for (long n = 0; n < 3; ++n, unit *= 60) {
        const std::optional<double> part = rational(entry, n);
        if (!part) {
            if (n == 0) return std::nullopt;
            break;
        }
        total += *part / unit;
    }
    return total;
}

std::string gps_position(const Exiv2::ExifData& exif)
{
    const std::optional<double> latitude = degrees(exif, "Exif.GPSInfo.GPSLatitude");
    const std::optional<double> longitude = degrees(exif, "Exif.GPSInfo.GPSLongitude");
    if (!latitude || !longitude || *latitude > 90 || *longitude > 180) return {};
    const std::string north = exif_text(exif, "Exif.GPSInfo.GPSLatitudeRef");
    const std::string east = exif_text(exif, "Exif.GPSInfo.GPSLongitudeRef");
    char text[96];
    std::snprintf(text, sizeof text, "%.6f\u00b0 %c, %.6f\u00b0 %c", *latitude, north == "S" ? 'S' : 'N', *longitude,
                  east == "W" ? 'W' : 'E');
    return text;
}

std::string profile_name(Exiv2::Image& image)
{
    if (!image.iccProfileDefined()) return {};
    const Exiv2::DataBuf* icc = image.iccProfile();
    if (!icc || icc->size_ <= 0) return {};
    cmsHPROFILE profile = cmsOpenProfileFromMem(icc->pData_, cmsUInt32Number(icc->size_));
    if (!profile) return {};
    char name[256] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", name, sizeof name);
    cmsCloseProfile(profile);
    return name;
}

}  // namespace

std::string describe_image(Exiv2::Image& image)
{
    const Exiv2::ExifData& exif = image.exifData();
    const Exiv2::XmpData& xmp = image.xmpData();
    std::string text;
    std::string date = exif_text(exif, "Exif.Photo.DateTimeOriginal");
    if (date.empty()) date = xmp_text(xmp, "Xmp.exif.DateTimeOriginal");
    if (date.empty()) date = xmp_text(xmp, "Xmp.photoshop.DateCreated");
    add(text, "Date taken", date_text(date));
    add(text, "Camera", camera(exif, xmp));
    std::string lens = exif_text(exif, "Exif.Photo.LensModel");
    if (lens.empty()) lens = xmp_text(xmp, "Xmp.exifEX.LensModel");
    if (lens.empty()) lens = xmp_text(xmp, "Xmp.aux.Lens");
    add(text, "Lens", lens);
    add(text, "Exposure", exposure(exif));
    const std::optional<double> f_number = rational(exif_entry(exif, "Exif.Photo.FNumber"));
    if (f_number && *f_number > 0) add(text, "F-number", "f/" + short_number(*f_number));
    const Exiv2::Exifdatum* iso = exif_entry(exif, "Exif.Photo.ISOSpeedRatings");
    if (iso && iso->toLong() > 0) add(text, "ISO", std::to_string(iso->toLong()));
    add(text, "Focal length", focal_length(exif));
    add(text, "Flash", exif_printed(exif, "Exif.Photo.Flash"));
    add(text, "Orientation", exif_printed(exif, "Exif.Image.Orientation"));
    add(text, "GPS position", gps_position(exif));
    add(text, "Colour profile", profile_name(image));
    return text;
}

std::string describe_bytes(const std::uint8_t* data, std::size_t size)
{
    if (!data || size == 0 || size > std::size_t(kMaxFileBytes)) return {};
    try {
        const auto lock = lock_exiv2();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        std::unique_ptr<Exiv2::Image> image(Exiv2::ImageFactory::open(data, long(size)).release());
#pragma GCC diagnostic pop
        if (!image) return {};
        image->readMetadata();
        return describe_image(*image);
    } catch (...) {
        return {};
    }
}

}  // namespace zarn::meta

ZARNMETA_EXPORT size_t _Meta_Describe(const char* path, char* buffer, size_t size)
{
    if (buffer && size > 0) buffer[0] = '\0';
    if (!path) return 0;
    try {
        const auto lock = zarn::meta::lock_exiv2();
        const std::unique_ptr<Exiv2::Image> image = zarn::meta::open_image(path);
        if (!image) return 0;
        const std::string text = zarn::meta::describe_image(*image);
        if (buffer && size > 0) {
            const std::size_t kept = std::min(text.size(), size - 1);
            std::memcpy(buffer, text.data(), kept);
            buffer[kept] = '\0';
        }
        return text.size();
    } catch (...) {
        return 0;
    }
}
