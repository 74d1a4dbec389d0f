// The pictures beside the one shown in its folder, read ahead at the size they will be shown.
#pragma once

#include "picture_load.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace show {

// The next and previous pictures, each read on a thread of its own while the
// user looks at the current one, so a step to either paints from memory. A
// JPEG is held at its reduced first paint, any other picture whole.
class Neighbours {
public:
    static constexpr std::size_t kMaxPictures = 2;
    static constexpr qint64 kMaxBytes = qint64(512) << 20;

    // One picture to read ahead: its path, its library format and its plan.
    struct Wanted {
        QString path;
        int format = 0;
        ReadPlan plan;
    };
    // Holds `wanted` (at most kMaxPictures, within kMaxBytes, the first
    // first), dropping anything else held; a picture already held stays.
    // The number of reads begun.
    int readAhead(const std::vector<Wanted>& wanted, LoadOptions options);
    // The read of `path` made with `options`, waited for: the caller's from now on.
    std::unique_ptr<PictureJob> take(const QString& path, LoadOptions options);
    // The library format of `path` when it is held, else 0.
    int formatOf(const QString& path);
    // Whether `path` is held and read, so that showing it does not wait.
    bool ready(const QString& path);
    // Drops all pictures held, or those outside `folder`.
    void clear();
    void keepFolder(const QString& folder);

private:
    struct Held {
        Wanted wanted;
        LoadOptions options;
        std::unique_ptr<PictureJob> job;
        QDateTime modified;  // the file as it was read: one changed since is read again
        qint64 bytes = -1;
    };
    // The held read of `path`, dropped first when its file has changed since.
    std::vector<Held>::iterator find(const QString& path);
    std::vector<Held> held_;
};

}  // namespace show
