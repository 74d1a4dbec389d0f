// Scanning through SANE: the list of devices and one image read into a working record.
#pragma once

#include "zarngfx.h"

#include <string>
#include <vector>

namespace eztw32 {

// Both need SANE started (sane_init) and not yet stopped.

struct Source {
    std::string name;   // what sane_open takes
    std::string label;  // what the user is shown
};
std::vector<Source> list_sources();

// Scans one image from the named device into the zero-filled `pic`: 1-bit
// for line art, 8-bit grey with a grey palette, or 24-bit RGB. kDone only
// with a complete image; the scan is cancelled and the device closed on
// every path.
enum class ScanResult { kDone, kNotOpened, kFailed };
ScanResult scan_image(const std::string& device, PicImage* pic);

}  // namespace eztw32
