// TForm1: the command line's dispatch at start-up, and acting on what later copies hand over.
#include "Unit1.h"

#include "command_line.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <optional>

namespace {

// What the browser writes back: at most 255 bytes and a terminating zero.
constexpr std::size_t kBrowseBuffer = 256;

// Shows the image browser starting from `path`; the chosen file, or nothing
// when the user chose none or the dialog library is missing. The start goes
// into a buffer of its own, so the answer always has its 255 bytes: a path
// too long to start from gives way to its folder, then to no start at all.
std::optional<QString> browse_from(const QString& path)
{
    std::array<char, kBrowseBuffer> buffer{};
    for (const QString& start : {path, QFileInfo(path).absolutePath()}) {
        const QByteArray local = QFile::encodeName(start);
        if (!start.isEmpty() && std::size_t(local.size()) < buffer.size()) {
            std::copy(local.begin(), local.end(), buffer.begin());
            break;
        }
    }
    if (!_WinImageBrowse(buffer.data())) return std::nullopt;
    buffer.back() = '\0';
    return QFile::decodeName(buffer.data());
}

int format_of(const QString& path)
{
    if (path.isEmpty()) return 0;
    const QByteArray local = QFile::encodeName(path);
    return _Pic_Valid(local.constData());
}

}  // namespace

bool TForm1::DispatchArgument(const QStringList& arguments, show::BackgroundRead* early)
{
    // No argument: the open dialog, before the window first shows.
    const QString argument = show::argumentText(arguments);
    if (argument.isEmpty()) {
        OpenClick();
        return true;
    }

    const show::VerbAndPath parsed = show::splitVerb(argument);
    Verb = parsed.verb;
    int format = format_of(parsed.path);
    QString path = parsed.path;

    // A verb without a file (a desktop entry's action): the browser starts
    // in the last folder, the others ask for the file first.
    if (!Verb.isNull() && path.isEmpty() && Verb != '=') {
        path = ask_for_picture();
        format = format_of(path);
        if (path.isEmpty()) {
            ExitOnActivate = true;
            return false;
        }
    }

    switch (Verb.unicode()) {
    case '!':
    case '+':
    case '?': {
        // The verb acts on a file the library knows; for any other the
        // viewer starts empty.
        if (format == 0) return true;
        FileName = path;
        PicFormat = format;
        if (Verb == '!') {
            editwithClick();
        } else if (Verb == '?') {
            editClick();
        } else {
            const QByteArray local = QFile::encodeName(path);
            const QByteArray working = QFile::encodeName(WorkingFile);
            // The picture's name on a second line: a printout to a file goes beside it.
            const QByteArray printed = QFile::encodeName(WorkingFile + '\n' + QFileInfo(path).absoluteFilePath());
            if (!WorkingFile.isEmpty() &&
                _anytobmps(local.constData(), working.constData(), Pic(), Settings.PhotoCDSize, Settings.JpegScale))
                modal([&] { return _WinImagePrint(printed.constData()); });
        }
        // Pictures handed over meanwhile keep the viewer running to show them.
        if (core_->hasHeldHandOffs()) return true;
        ExitOnActivate = true;
        return false;
    }
    case '=': {
        // Without a choice the browser was all; with one, it is shown.
        const std::optional<QString> chosen =
            modal([&] { return browse_from(path.isEmpty() ? dialogFolder(Settings.StartDir) + '/' : path); });
        if (!chosen) {
            if (core_->hasHeldHandOffs()) return true;
            ExitOnActivate = true;
            return false;
        }
        path = *chosen;
        break;
    }
    default: break;
    }

    LoadImage(path, early);
    Settings.StartDir = QFileInfo(path).absolutePath();  // kept should the window close before the dialog is made
    OpenDialog1.setup([path](QFileDialog& dialog) {
        dialog.setDirectory(QFileInfo(path).absolutePath());
        dialog.selectFile(path);
    });
    return true;
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && ExitOnActivate) {
        const bool handled = QWidget::event(event);
        exitClick();
        return handled;
    }
    return QWidget::event(event);
}

void TForm1::take_hand_off(const QString& argument)
{
    // No argument: only come to the front.
    const show::VerbAndPath parsed = show::splitVerb(argument);
    if (!parsed.verb.isNull() && parsed.path.isEmpty()) {
        // A verb without a file: the browser from the picture shown, the
        // others on a file the user picks.
        bring_to_front();
        if (parsed.verb == '=') browseClick();
        else if (const QString chosen = ask_for_picture(); !chosen.isEmpty()) take_hand_off(parsed.verb + chosen);
        return;
    }
    if (!argument.isEmpty()) {
        // A changed picture is dropped only with the user's leave.
        const bool known = format_of(parsed.path) != 0;
        if (known && !ConfirmDiscard()) {
            bring_to_front();
            return;
        }
        const bool loaded = known && LoadImage(parsed.path);
        OpenDialog1->setDirectory(QFileInfo(parsed.path).absolutePath());
        OpenDialog1->selectFile(parsed.path);

        // A verb acts only on a file the library knows, and printing only
        // on one that loaded: otherwise it would take the picture already shown.
        if (known) {
            switch (parsed.verb.unicode()) {
            case '!': editwithClick(); break;
            case '+':
                if (loaded) printClick();
                break;
            case '=': browseClick(); break;
            case '?': editClick(); break;
            default: break;
            }
        }
    }
    bring_to_front();
}

void TForm1::bring_to_front()
{
    if (core_->isClosed()) return;
    if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
    // A window hidden behind one of its own dialogs stays hidden.
    if (!isVisible()) return;
    raise();
    activateWindow();
}
