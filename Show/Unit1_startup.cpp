// TForm1: the command line's dispatch at start-up, and taking over the arguments of later copies.
#include "Unit1.h"

#include "command_line.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

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
    // 1-2. No argument: the open dialog, before the window first shows.
    const QString argument = show::argumentText(arguments);
    if (argument.isEmpty()) {
        OpenClick();
        return true;
    }

    // 3.
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
        // 4. The verb acts on a file the library knows; for any other the
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
            if (!WorkingFile.isEmpty() && _anytobmps(local.constData(), working.constData(), pic_.get(),
                                                     Settings.PhotoCDSize, Settings.JpegScale))
                modal([&] { return _WinImagePrint(printed.constData()); });
        }
        // Pictures handed over meanwhile keep the viewer running to show them.
        if (!held_hand_offs_.empty()) return true;
        ExitOnActivate = true;
        return false;
    }
    case '=': {
        // 5. Without a choice the browser was all; with one, it is shown.
        const std::optional<QString> chosen =
            modal([&] { return browse_from(path.isEmpty() ? dialogFolder(Settings.StartDir) + '/' : path); });
        if (!chosen) {
            if (!held_hand_offs_.empty()) return true;
            ExitOnActivate = true;
            return false;
        }
        path = *chosen;
        break;
    }
    default: break;
    }

    // 6.
    early_read_ = early;
    LoadImage(path);
    early_read_ = nullptr;
    Settings.StartDir = QFileInfo(path).absolutePath();  // kept should the window close before the dialog is made
    OpenDialog1.setup([path](QFileDialog& dialog) {
        dialog.setDirectory(QFileInfo(path).absolutePath());
        dialog.selectFile(path);
    });
    return true;
}

bool TForm1::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (ExitOnActivate) {
            const bool handled = QWidget::event(event);
            exitClick();
            return handled;
        }
        break;
    case QEvent::WindowTitleChange:
        // Another viewer may have held the name when this one started; once
        // it has gone, the first title change takes the name over.
        if (copies_ && !copies_->isListening()) copies_->listen(show::handOffServerName());
        break;
    default: break;
    }
    return QWidget::event(event);
}

void TForm1::listen_for_copies()
{
    copies_ = new QLocalServer(this);
    // In the abstract namespace a name held by a live server cannot be taken
    // over; it goes with the process that holds it.
    copies_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(copies_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* asker = copies_->nextPendingConnection()) {
            connect(asker, &QLocalSocket::disconnected, asker, &QObject::deleteLater);
            if (!show::peerIsThisUser(asker->socketDescriptor())) {
                asker->abort();
                asker->deleteLater();
                continue;
            }
            connect(asker, &QLocalSocket::readyRead, asker, [this, asker] { answer_copy(*asker); });
            if (asker->canReadLine()) answer_copy(*asker);
        }
    });
    copies_->listen(show::handOffServerName());
}

void TForm1::answer_copy(QLocalSocket& asker)
{
    while (asker.canReadLine()) {
        // A request line longer than any a viewer sends is cut off here and
        // ends the connection.
        const QByteArray line = asker.readLine(show::kMaxRequestBytes + 2);
        if (!line.endsWith('\n')) {
            asker.abort();
            return;
        }
        const QByteArray request = line.trimmed();
        if (request == show::kTitleRequest) {
            // A closing window is no viewer to hand anything to.
            QString title = closed_ ? QString() : windowTitle();
            title.replace('\n', ' ');
            asker.write(title.toUtf8() + '\n');
            asker.flush();
        } else if (request.startsWith(show::kHandOffRequest)) {
            ReceiveHandOff(asker, request);
        } else {
            asker.abort();
            return;
        }
    }
    if (asker.bytesAvailable() > show::kMaxRequestBytes + 1) asker.abort();
}

void TForm1::ReceiveHandOff(QLocalSocket& asker, const QByteArray& request)
{
    // 1-3. Declined ("OnlyOne" off, closing, or a request no viewer sends):
    // the other copy starts a window of its own.
    std::optional<QString> argument;
    if (Settings.OnlyOne && !closed_) argument = show::handOffArgument(request);

    // 4. The answer goes out before any work, so the other copy ends at once.
    asker.write(argument ? "1\n" : "0\n");
    asker.flush();
    if (!argument) return;
    QMetaObject::invokeMethod(this, [this, text = *argument] { act_on_hand_off(text); }, Qt::QueuedConnection);
}

void TForm1::act_on_hand_off(const QString& argument)
{
    if (closed_) return;
    // A modal window (the browser, the preferences, a dialog of the library,
    // a question) works on the picture shown when it opened: a new one
    // loaded under it would be overwritten or lost when it closes. Hand-offs
    // wait for it, and are then taken in the order they came.
    if (modal_window_open() || !held_hand_offs_.empty()) {
        held_hand_offs_.push_back(argument);
        if (!hand_off_timer_) {
            hand_off_timer_ = new QTimer(this);
            hand_off_timer_->setInterval(100);
            connect(hand_off_timer_, &QTimer::timeout, this, [this] {
                if (!modal_window_open()) release_hand_offs();
            });
        }
        hand_off_timer_->start();
        return;
    }
    take_hand_off(argument);
}

bool TForm1::modal_window_open() const
{
    return modal_depth_ > 0 || QApplication::activeModalWidget() != nullptr;
}

void TForm1::leave_modal()
{
    if (--modal_depth_ == 0 && !held_hand_offs_.empty())
        QMetaObject::invokeMethod(this, &TForm1::release_hand_offs, Qt::QueuedConnection);
}

void TForm1::release_hand_offs()
{
    if (releasing_hand_offs_) return;
    releasing_hand_offs_ = true;
    while (!held_hand_offs_.empty() && !closed_ && !modal_window_open()) {
        const QString next = held_hand_offs_.front();
        held_hand_offs_.pop_front();
        take_hand_off(next);
    }
    releasing_hand_offs_ = false;
    if (hand_off_timer_ && (held_hand_offs_.empty() || closed_)) hand_off_timer_->stop();
}

void TForm1::take_hand_off(const QString& argument)
{
    // 5. No argument: only come to the front.
    const show::VerbAndPath parsed = show::splitVerb(argument);
    if (!parsed.verb.isNull() && parsed.path.isEmpty()) {
        // A verb without a file: the browser from the picture shown, the
        // others on a file the user picks.
        bring_to_front();
        if (parsed.verb == '=') browseClick();
        else if (const QString chosen = ask_for_picture(); !chosen.isEmpty())
            take_hand_off(parsed.verb + chosen);
        return;
    }
    if (!argument.isEmpty()) {
        // 6-7. A changed picture is dropped only with the user's leave.
        const bool known = format_of(parsed.path) != 0;
        if (known && !ConfirmDiscard()) {
            bring_to_front();
            return;
        }
        const bool loaded = known && LoadImage(parsed.path);
        OpenDialog1->setDirectory(QFileInfo(parsed.path).absolutePath());
        OpenDialog1->selectFile(parsed.path);

        // 8. A verb acts only on a file the library knows, and printing only
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
    // 9.
    bring_to_front();
}

void TForm1::bring_to_front()
{
    if (closed_) return;
    if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
    // A window hidden behind one of its own dialogs stays hidden.
    if (!isVisible()) return;
    raise();
    activateWindow();
}
