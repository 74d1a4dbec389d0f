// What every window of the dialog library shares: the Qt session of one export call, records, temporary files.
#pragma once

#include "zarngfx.h"

#include <QString>

#include <cstdint>
#include <memory>

class QDialog;
class TProgbar;

namespace gfx24 {

// Runs the body of one export. A host without Qt gets a QApplication for
// the call, deleted before the export returns; a Qt host keeps its own.
// Where no display can be opened there is no application and the export
// returns `failure` at once.
// Nothing thrown escapes, and objects deleted later are deleted now, so no
// code of this library runs after the export has returned.
int runExport(int failure, int (*body)(void* context), void* context) noexcept;

template <typename Body>
int runExport(int failure, Body&& body) noexcept
{
    return runExport(
        failure, [](void* context) { return (*static_cast<Body*>(context))(); }, &body);
}

// True while an export runs in the application it made for the call: a host
// without Qt, where nothing of Qt (the clipboard's owner among it) outlives
// the call.
bool ownsApplication();

// Shows a window modally (every other window of the program disabled) until
// one of its close paths ends the loop.
void execModal(QDialog& window);

struct RecordFree {
    void operator()(PicImage* pic) const;
};
using Record = std::unique_ptr<PicImage, RecordFree>;

// A zero-filled working record whose progress field is set at once.
Record newRecord(PicProgress progress);

// `name` in the private per-user temporary folder; empty when there is none.
QString temporaryFile(const QString& name);

// A progress report as a bar level: current x 100 / total, truncated.
void showProgress(TProgbar* bar, std::int32_t current, std::int32_t total);

// A path as the image library takes it.
QByteArray localPath(const QString& path);

}  // namespace gfx24
