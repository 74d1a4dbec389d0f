// The image library's one message, shown as a message box over the active window.
#include "message_box.h"

#include "zarngfx.h"

#include <QApplication>
#include <QMessageBox>

namespace show {
namespace {

void show_library_message(const char* text, const char* caption)
{
    QMessageBox::critical(QApplication::activeWindow(), QString::fromLocal8Bit(caption),
                          QString::fromLocal8Bit(text));
}

}  // namespace

void installLibraryMessageBox()
{
    _Pic_SetMessageHandler(&show_library_message);
}

}  // namespace show
