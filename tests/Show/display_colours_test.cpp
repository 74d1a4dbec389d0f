// Pictures drawn through the display's colour profile, set on the test display's root window.
#include "anyimage.h"
#include "area_scale.h"
#include "colour_profile.h"
#include "picturebox.h"
#include "test_support.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <lcms2.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace zarn::test;

// Sets the root window's profile as a desktop colour daemon does; empty
// removes it. xprop takes too few values for a whole profile, so this goes
// through the test's own connection to the display.
void set_root_profile(const std::vector<std::uint8_t>& icc)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* connection = x11->connection();
    static const char kName[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    ASSERT_NE(atom, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_void_cookie_t done =
        icc.empty() ? xcb_delete_property_checked(connection, root, atom->atom)
                    : xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, root, atom->atom,
                                                  XCB_ATOM_CARDINAL, 8, std::uint32_t(icc.size()), icc.data());
    std::free(atom);
    xcb_generic_error_t* error = xcb_request_check(connection, done);
    EXPECT_EQ(error, nullptr);
    std::free(error);
}

struct RootProfileRemoved {
    ~RootProfileRemoved() { set_root_profile({}); }
};

// Primaries and a tone curve far from sRGB's, so every colour moves.
const std::vector<std::uint8_t>& odd_profile()
{
    static const std::vector<std::uint8_t> icc =
        zarn::profile_from_gamma({0.3127, 0.3290, 0.70, 0.28, 0.17, 0.75, 0.13, 0.04}, 1.6, "Odd test display");
    return icc;
}

std::vector<std::uint8_t> srgb_profile()
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(srgb, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(srgb, bytes.data(), &size);
    cmsCloseProfile(srgb);
    return bytes;
}

// lcms2's own sRGB to `icc` of every pixel, in RGB32.
QImage through(const QImage& picture, const std::vector<std::uint8_t>& icc)
{
    QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE display = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_RGB_8, display, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    for (int y = 0; y < rgb.height(); ++y)
        cmsDoTransform(transform, rgb.constScanLine(y), rgb.scanLine(y), cmsUInt32Number(rgb.width()));
    cmsDeleteTransform(transform);
    cmsCloseProfile(display);
    cmsCloseProfile(srgb);
    return rgb.convertToFormat(QImage::Format_RGB32);
}

int largest_difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) return 1000;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max(
                {largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

// Reds across, greens down, blue against both.
QImage colourful(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / (width - 1), y * 255 / (height - 1), 255 - (x + y) * 3));
    return picture;
}

QImage drawn_at(TPictureBox& box, qreal zoom)
{
    box.setZoom(zoom);
    box.resize(box.sizeForZoom(zoom));
    return grabbed(box);
}

TEST(DisplayColours, PicturesAreDrawnThroughTheRootWindowsProfileFromTheNextPictureOn)
{
    const QImage picture = colourful(48, 32);
    const QImage expected = through(picture, odd_profile());
    ASSERT_GT(largest_difference(expected, picture), 20) << "the test profile moves colours";
    TPictureBox box;
    box.setPicture(picture.convertToFormat(QImage::Format_BGR888));  // the working file's form
    box.resize(box.sizeForZoom(1));
    ASSERT_TRUE(showAndWait(box));
    EXPECT_EQ(drawn_at(box, 1), picture) << "without a profile, exactly the picture";

    const RootProfileRemoved cleanup;
    set_root_profile(odd_profile());
    EXPECT_EQ(drawn_at(box, 1), picture) << "the picture on show keeps its colours";
    box.setPicture(picture.convertToFormat(QImage::Format_BGR888));  // the working file's form
    EXPECT_LE(largest_difference(drawn_at(box, 1), expected), 2);
    // Reduced, the mean goes through the profile; enlarged, each picture pixel does.
    EXPECT_LE(
        largest_difference(drawn_at(box, 0.5), through(controls::areaScaled(picture, QSize(24, 16)), odd_profile())),
        2);
    const QImage enlarged = drawn_at(box, 3);
    ASSERT_EQ(enlarged.size(), QSize(144, 96));
    EXPECT_LE(largest_difference(enlarged.copy(30, 60, 3, 3), expected.copy(10, 20, 1, 1).scaled(3, 3)), 2);

    // The full-screen show and the slide show draw through TAnyImage.
    TAnyImage image;
    image.setPicture(picture.convertToFormat(QImage::Format_RGB888));
    image.resize(image.displaySize());
    ASSERT_TRUE(showAndWait(image));
    EXPECT_LE(largest_difference(grabbed(image), expected), 2);

    // A broken profile, sRGB's own and none at all: the picture as it is.
    for (const std::vector<std::uint8_t>& icc :
         {std::vector<std::uint8_t>(400, 0x5A), srgb_profile(), std::vector<std::uint8_t>()}) {
        set_root_profile(icc);
        box.setPicture(picture);
        EXPECT_EQ(drawn_at(box, 1), picture) << icc.size() << " bytes";
    }
}

}  // namespace
