// The photo metadata of a file (EXIF, XMP, IPTC) through the zarnmeta module, loaded by name when
// first needed. Without the module there is nothing to show and nothing is copied; that is never
// a failure of the save or conversion around it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zarn {

// Whether libzarnmeta.so can be loaded.
bool metadata_available();

// What copy_metadata takes along besides EXIF, XMP and IPTC.
enum class MetadataProfile {
    Leave,  // the target keeps whatever its writer gave it (none, or sRGB)
    Copy,   // the source's colour profile goes into the target too
};

// Copies the EXIF, XMP and IPTC of `source` into the already written
// `target`, with the orientation set to 1, the pixel dimensions set to
// `width` x `height` and any embedded EXIF thumbnail dropped. True when
// something was copied; false when the module is absent, the source has
// nothing, or the target's format cannot carry it (the target is then left
// exactly as it was). With `keep_orientation` (pixels written as they were
// stored) the source's orientation tag is kept instead.
bool copy_metadata(const std::string& source, const std::string& target, std::int32_t width, std::int32_t height,
                   MetadataProfile profile, bool keep_orientation = false);

// The information panel's entries from the file's EXIF and XMP, in this
// order and only those it has: "Date taken", "Camera", "Lens", "Exposure",
// "F-number", "ISO", "Focal length", "Flash", "Orientation", "GPS position",
// "Colour profile". Empty when the module is absent or the file has none.
std::vector<std::pair<std::string, std::string>> describe_metadata(const std::string& path);

}  // namespace zarn
