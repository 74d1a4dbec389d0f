// ViewerCore: the local server later copies of the viewer find, and their hand-offs held while a modal window is open.
#include "viewer_core.h"

#include "command_line.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <optional>

void ViewerCore::listenForCopies()
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

void ViewerCore::answer_copy(QLocalSocket& asker)
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
            QString title = closed_ ? QString() : title_;
            title.replace('\n', ' ');
            asker.write(title.toUtf8() + '\n');
            asker.flush();
        } else if (request.startsWith(show::kHandOffRequest)) {
            receive_hand_off(asker, request);
        } else {
            asker.abort();
            return;
        }
    }
    if (asker.bytesAvailable() > show::kMaxRequestBytes + 1) asker.abort();
}

void ViewerCore::receive_hand_off(QLocalSocket& asker, const QByteArray& request)
{
    // Declined ("OnlyOne" off, closing, or a request no viewer sends): the
    // other copy starts a window of its own.
    std::optional<QString> argument;
    if (settings_.OnlyOne && !closed_) argument = show::handOffArgument(request);

    // The answer goes out before any work, so the other copy ends at once.
    asker.write(argument ? "1\n" : "0\n");
    asker.flush();
    if (!argument) return;
    QMetaObject::invokeMethod(
        this, [this, text = *argument] { act_on_hand_off(text); }, Qt::QueuedConnection);
}

void ViewerCore::act_on_hand_off(const QString& argument)
{
    if (closed_) return;
    // A modal window (the browser, the preferences, a dialog of the library,
    // a question) works on the picture shown when it opened: a new one
    // loaded under it would be overwritten or lost when it closes. Hand-offs
    // wait for it, and are then taken in the order they came.
    if (modalWindowOpen() || !held_hand_offs_.empty()) {
        held_hand_offs_.push_back(argument);
        if (!hand_off_timer_) {
            hand_off_timer_ = new QTimer(this);
            hand_off_timer_->setInterval(100);
            connect(hand_off_timer_, &QTimer::timeout, this, [this] {
                if (!modalWindowOpen()) release_hand_offs();
            });
        }
        hand_off_timer_->start();
        return;
    }
    emit handOff(argument);
}

bool ViewerCore::modalWindowOpen() const
{
    return modal_depth_ > 0 || QApplication::activeModalWidget() != nullptr;
}

void ViewerCore::leave_modal()
{
    if (--modal_depth_ == 0 && !held_hand_offs_.empty())
        QMetaObject::invokeMethod(this, &ViewerCore::release_hand_offs, Qt::QueuedConnection);
}

void ViewerCore::release_hand_offs()
{
    if (releasing_hand_offs_) return;
    releasing_hand_offs_ = true;
    while (!held_hand_offs_.empty() && !closed_ && !modalWindowOpen()) {
        const QString next = held_hand_offs_.front();
        held_hand_offs_.pop_front();
        emit handOff(next);
    }
    releasing_hand_offs_ = false;
    if (hand_off_timer_ && (held_hand_offs_.empty() || closed_)) hand_off_timer_->stop();
}
