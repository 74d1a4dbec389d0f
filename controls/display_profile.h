// The display's colour profile: sRGB pictures drawn through the profile the X11 root window carries.
#pragma once

#include <QImage>
#include <QRect>

#include <memory>

namespace controls {

// sRGB to the display's profile (perceptual, 8 bits a channel). An empty
// transform changes nothing, and costs nothing but the test for it.
class DisplayTransform {
public:
    DisplayTransform() = default;
    // From the bytes of an ICC profile; empty when they are no usable RGB
    // display profile, or sRGB's own (or as good as: nothing would change).
    static DisplayTransform fromIcc(const QByteArray& icc);

    explicit operator bool() const { return transform_ != nullptr; }

    // Converts `area` of `image` in place when the image is RGB32, ARGB32,
    // ARGB32_Premultiplied, RGB888 or BGR888; other formats are left alone
    // (false).
    // Alpha is kept as it is.
    bool apply(QImage& image, QRect area) const;
    // A converted copy of `image` in inPlaceFormat(image); the image itself
    // when the transform is empty.
    QImage applied(const QImage& image) const;
    // The format apply() converts that keeps what `image` shows.
    static QImage::Format inPlaceFormat(const QImage& image);

private:
    std::shared_ptr<void> transform_;      // four bytes a pixel, RGB32's
    std::shared_ptr<void> rgb_transform_;  // three bytes a pixel, RGB888's
    std::shared_ptr<void> bgr_transform_;  // BGR888's, the viewer's working form
};

// The transform for the profile the root window of the display carries in
// its _ICC_PROFILE property, read afresh on every call (one round trip to the
// X server; the profile bytes unchanged since the last call keep the
// transform built then). Empty off X11, without the property, or with a
// broken or sRGB profile.
DisplayTransform readDisplayTransform();

}  // namespace controls
