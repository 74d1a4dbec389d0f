// What the viewer remembers of its last delete, so that the undo right after it brings the file back.
#pragma once

#include "file_moves.h"

#include <QString>

#include <optional>

namespace show {

// A file the viewer put in the trash, and what was on screen right after:
// the undo restores it only while that is still so.
struct LastDelete {
    std::optional<controls::TrashedFile> trashed;
    QString shownAfter;
    int undoAfter = 0;
};

}  // namespace show
