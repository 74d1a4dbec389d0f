// The table of Qt services the Qt helper module libeztw32_qt.so hands to the scanner module.
#pragma once

#include "zarngfx.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace eztw32 {

// Both modules are built together, so the table speaks C++; only the one
// entry point is looked up by name. No function lets an exception out.
struct QtHostTable {
    // Whether the calling thread runs the process's widget application.
    bool (*has_widgets)();
    // The index the user picked among `labels` (`current` marked), in a
    // dialog owned by `window` when it names one of the host's top-level
    // windows; nothing when cancelled.
    std::optional<std::size_t> (*ask_for_source)(void* window, const std::vector<std::string>& labels,
                                                 std::size_t current);
    bool (*put_on_clipboard)(const PicImage& pic);
    void (*show_wait_cursor)(bool on);
    // The device chosen last, from the user's settings file; empty when none.
    std::string (*stored_source)();
    void (*store_source)(const std::string& name);
};

}  // namespace eztw32

#define EZTW32_QT_ENTRY "eztw32_qt_host"
extern "C" __attribute__((visibility("default"))) const eztw32::QtHostTable* eztw32_qt_host();
