// The viewer's private temporary folder and its working file name.
#pragma once

#include <QString>
#include <QTime>

namespace show {

// The per-user folder (mode 0700) in the system temporary directory, made on
// first use; the same rule the image library follows, so both sides agree on
// where temporary and hand-off files live. Empty when it cannot be made safe.
QString privateTempDir();

// "zarn~SSHH.bmp" from the seconds and hundredths of `time`.
QString workingFileName(const QTime& time);

// Creates the working file in `folder` under the name for `time`, moving on a
// hundredth at a time past names another copy of the viewer already holds,
// so two viewers started in the same instant never share a working file.
// Returns the path, or an empty text when no name could be taken.
QString reserveWorkingFile(const QString& folder, const QTime& time);

}  // namespace show
