// The display's colour profile: read from the root window through xcb, applied through lcms2.
#include "display_profile.h"

#include "shared_rules.h"

#include <QGuiApplication>
#include <QPainter>
#include <QtGui/qguiapplication_platform.h>

#include <lcms2.h>
#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace controls {
namespace {

// Below this many pixels a conversion runs on the calling thread alone.
constexpr qint64 kPixelsPerThread = qint64(1) << 19;
// A profile larger than this is no display's.
constexpr quint32 kLargestProfile = 16u << 20;

struct ProfileCloser {
    void operator()(void* profile) const
    {
        if (profile) cmsCloseProfile(profile);
    }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

// RGB32 and ARGB32 are 32-bit words 0xAARRGGBB, so their bytes run from blue
// on a little-endian machine.
constexpr cmsUInt32Number kWordFormat =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? cmsUInt32Number(TYPE_BGRA_8) : cmsUInt32Number(TYPE_ARGB_8);

// Whether sRGB's own primaries and greys come out where they went in, to one
// level: the display is sRGB's (or as good as), and nothing need be done.
bool changes_nothing(cmsHTRANSFORM transform)
{
    const std::array<unsigned char, 24> probes{0, 0, 0,   255, 255, 255, 255, 0,   0,  0,   255, 0,
                                               0, 0, 255, 200, 120, 40,  30,  160, 90, 128, 128, 128};
    std::array<unsigned char, 24> out{};
    cmsDoTransform(transform, probes.data(), out.data(), cmsUInt32Number(probes.size() / 3));
    for (std::size_t i = 0; i < probes.size(); ++i)
        if (std::abs(int(out[i]) - int(probes[i])) > 1) return false;
    return true;
}

// No cache, so one transform serves several threads at once.
std::shared_ptr<void> make_transform(cmsHPROFILE srgb, cmsHPROFILE display, cmsUInt32Number format)
{
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, format, display, format, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    if (!transform) return nullptr;
    return std::shared_ptr<void>(transform, [](void* t) { cmsDeleteTransform(t); });
}

// Where a picture's pixels are, for threads that must not touch the QImage.
struct PixelRows {
    uchar* bits;
    qsizetype stride;
    int bytes_per_pixel;
};

// The rows [first, last) of `area`, in a format lcms2 reads in place.
void convert_rows(cmsHTRANSFORM transform, PixelRows rows, QRect area, int first, int last)
{
    for (int y = first; y < last; ++y) {
        uchar* row = rows.bits + qsizetype(y) * rows.stride + qsizetype(area.x()) * rows.bytes_per_pixel;
        cmsDoTransform(transform, row, row, cmsUInt32Number(area.width()));
    }
}

#if QT_CONFIG(xcb)
// The bytes of the _ICC_PROFILE property of the first screen's root window;
// empty when it is not set, not 8-bit data, or too large to be a profile.
QByteArray root_window_profile(xcb_connection_t* connection)
{
    // Interned once for each connection: an atom lives as long as the server.
    static xcb_connection_t* interned_on = nullptr;
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (interned_on != connection || atom == XCB_ATOM_NONE) {
        static const char kName[] = "_ICC_PROFILE";
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(sizeof kName - 1), kName), nullptr);
        if (!reply) return {};
        atom = reply->atom;
        interned_on = connection;
        std::free(reply);
    }
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (screens.rem <= 0 || !screens.data) return {};
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, screens.data->root, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kLargestProfile / 4),
        nullptr);
    if (!reply) return {};
    QByteArray bytes;
    const int length = xcb_get_property_value_length(reply);
    if (reply->format == 8 && reply->bytes_after == 0 && length > 0)
        bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), length);
    std::free(reply);
    return bytes;
}
#endif

QByteArray display_profile_bytes()
{
#if QT_CONFIG(xcb)
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* connection = x11->connection()) return root_window_profile(connection);
    }
#endif
    return {};
}

}  // namespace

DisplayTransform DisplayTransform::fromIcc(const QByteArray& icc)
{
    DisplayTransform result;
    if (icc.size() < 132 || quint64(icc.size()) > kLargestProfile) return result;
    const ProfilePtr display(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
    if (!display || cmsGetColorSpace(display.get()) != cmsSigRgbData) return result;
    const ProfilePtr srgb(cmsCreate_sRGBProfile());
    if (!srgb) return result;
    std::shared_ptr<void> owned = make_transform(srgb.get(), display.get(), kWordFormat);
    if (!owned) return result;
    // The same for three bytes a pixel, either way round; the probes are such pixels.
    std::shared_ptr<void> rgb = make_transform(srgb.get(), display.get(), TYPE_RGB_8);
    std::shared_ptr<void> bgr = make_transform(srgb.get(), display.get(), TYPE_BGR_8);
    if (!rgb || !bgr || changes_nothing(rgb.get())) return result;
    result.rgb_transform_ = std::move(rgb);
    result.bgr_transform_ = std::move(bgr);
    result.transform_ = std::move(owned);
    return result;
}

QImage::Format DisplayTransform::inPlaceFormat(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888: return image.format();
    default: return image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    }
}

bool DisplayTransform::apply(QImage& image, QRect area) const
{
    if (!transform_) return true;
    area &= image.rect();
    if (area.isEmpty()) return true;
    const QImage::Format format = image.format();
    if (format == QImage::Format_ARGB32_Premultiplied) {
        // Colours are converted straight, never premultiplied.
        QImage straight = image.copy(area).convertToFormat(QImage::Format_ARGB32);
        if (straight.isNull() || !apply(straight, straight.rect())) return false;
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(area.topLeft(), straight);
        return true;
    }
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 && format != QImage::Format_RGB888 &&
        format != QImage::Format_BGR888)
        return false;
    const PixelRows rows{image.bits(), image.bytesPerLine(), image.depth() / 8};
    if (!rows.bits) return false;
    cmsHTRANSFORM transform = format == QImage::Format_RGB888   ? rgb_transform_.get()
                              : format == QImage::Format_BGR888 ? bgr_transform_.get()
                                                                : transform_.get();
    const qint64 pixels = qint64(area.width()) * area.height();
    const int threads =
        int(std::min<qint64>({qint64(zarn::codec_threads()), pixels / kPixelsPerThread, qint64(area.height())}));
    if (threads <= 1) {
        convert_rows(transform, rows, area, area.top(), area.bottom() + 1);
    } else {
        const int share = (area.height() + threads - 1) / threads;
        std::vector<std::thread> workers;
        workers.reserve(std::size_t(threads));
        for (int first = area.top(); first <= area.bottom(); first += share)
            workers.emplace_back(convert_rows, transform, rows, area, first,
                                 std::min(first + share, area.bottom() + 1));
        for (std::thread& worker : workers) worker.join();
    }
    return true;
}

QImage DisplayTransform::applied(const QImage& image) const
{
    if (!transform_ || image.isNull()) return image;
    QImage converted = image.convertToFormat(inPlaceFormat(image));
    if (converted.isNull() || !apply(converted, converted.rect())) return image;
    return converted;
}

DisplayTransform readDisplayTransform()
{
    static std::mutex lock;
    static QByteArray last_bytes;
    static DisplayTransform last;
    const QByteArray bytes = display_profile_bytes();
    const std::lock_guard<std::mutex> hold(lock);
    if (bytes != last_bytes) {
        last = DisplayTransform::fromIcc(bytes);
        last_bytes = bytes;
    }
    return last;
}

}  // namespace controls
