// The image library's one message, shown as a message box over the active window.
#include "message_box.h"

#include "zarngfx.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace show {
namespace {

void show_library_message(const char* text, const char* caption)
{
    const QString title = QString::fromLocal8Bit(caption), message = QString::fromLocal8Bit(text);
    const auto box = [title, message] { QMessageBox::critical(QApplication::activeWindow(), title, message); };
    // The library works on other threads too (the picture read at start-up);
    // a window can only be made on the application's own.
    if (qApp && QThread::currentThread() != qApp->thread()) QMetaObject::invokeMethod(qApp, box, Qt::QueuedConnection);
    else box();
}

}  // namespace

void installLibraryMessageBox()
{
    _Pic_SetMessageHandler(&show_library_message);
}

}  // namespace show
