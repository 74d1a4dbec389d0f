// The viewer's private temporary folder, its working file name and the lock that marks the name as in use.
#pragma once

#include <QString>
#include <QTime>

namespace controls {

// The per-user folder (mode 0700) in the system temporary directory, made on
// first use; the image library's own rule, so both sides agree on where
// temporary files and working copies live. Empty when it cannot be made safe.
QString privateTempDir();

// A temporary file name in `folder` that no other process, nor another
// window of this one, is using: `stem`, this process's id and a count of
// the names it has handed out, then `suffix` ("zarngfx24-4711-3.bmp").
// Empty when `folder` is.
QString uniqueTempPath(const QString& folder, const QString& stem, const QString& suffix = QStringLiteral(".bmp"));

// "zarn~SSHH.bmp" from the seconds and hundredths of `time`.
QString workingFileName(const QTime& time);

// An flock held on a working file's lock file ("zarn~SSHH.lock" beside
// "zarn~SSHH.bmp") for as long as the object lives. The lock is not on the
// working file itself: the image library replaces that file by renaming a
// new one over it at every write, which would leave a lock behind on the
// old file. A viewer that is killed loses its lock with its process.
class NameLock {
public:
    NameLock() = default;
    ~NameLock() { release(); }
    NameLock(NameLock&& other) noexcept;
    NameLock& operator=(NameLock&& other) noexcept;
    NameLock(const NameLock&) = delete;
    NameLock& operator=(const NameLock&) = delete;

    // Takes the lock of the file at `lockPath`, made when missing; false when
    // another process holds it (or it cannot be opened).
    bool take(const QString& lockPath);
    bool held() const { return fd_ >= 0; }
    // Removes the lock file while still holding it, then lets go.
    void release();

private:
    QString path_;
    int fd_ = -1;
};

struct Reservation {
    QString path;   // empty when no name could be taken
    NameLock lock;  // held as long as the viewer uses the name
};

// Creates the working file in `folder` under the name for `time`, moving on a
// hundredth at a time past names another running viewer holds, so two
// viewers started in the same instant never share a working file. A file
// left under a free name by a viewer that was killed is emptied and reused.
Reservation reserveWorkingFile(const QString& folder, const QTime& time);

// Deletes from `folder` what viewers that are no longer running left behind:
// working files ("zarn~*.bmp"), what goes with them ("zarn~SSHH.load.bmp"),
// their lock files and the image library's half-written ".zarn~*" files, of
// every name no running viewer holds.
void removeStaleWorkingFiles(const QString& folder);

}  // namespace controls
