// TForm4: the full-screen window, the picture alone on black.
#include "Unit4.h"

#include "anyimage.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

TForm4::TForm4(const FullScreenHost& host)
    : QDialog(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), host_(host)
{
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(QStringLiteral("Image"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    AnyImage1 = new TAnyImage(this);
    AnyImage1->setObjectName(QStringLiteral("AnyImage1"));
    AnyImage1->move(0, 0);
    AnyImage1->setAutoFlush(false);
    AnyImage1->installEventFilter(this);
}

TForm4::~TForm4() = default;

void TForm4::ShowPicture(const QImage& picture)
{
    AnyImage1->setPicture(picture);
    exec();
}

void TForm4::FormShow()
{
    // The whole of the screen the main window is on.
    const QScreen* screen = host_.hostScreen() ? host_.hostScreen() : QGuiApplication::primaryScreen();
    if (screen) setGeometry(screen->geometry());

    // Only a file loaded by the control itself goes through the 256-colour
    // path; the picture given here is the main window's, which already is
    // the 256-colour one when "Display" is on.
    AnyImage1->setTruColor(!host_.showsReducedColours());

    // A picture smaller than the screen keeps its own size, centred; a
    // larger one is fitted into the screen at its own proportions.
    const QSize picture = AnyImage1->displaySize();
    if (picture.width() < width() && picture.height() < height()) {
        AnyImage1->setGeometry(QRect(QPoint(0, 0), picture));
        AnyImage1->setCenterOnParent(true);
    } else {
        AnyImage1->setGeometry(rect());
    }
    AnyImage1->setProportional(true);
}

void TForm4::FormKeyDown()
{
    close();
}

void TForm4::FormClick()
{
    close();
}

void TForm4::AnyImage1Click()
{
    close();
}

bool TForm4::event(QEvent* event)
{
    // Every key closes, Tab and Esc included, before focus handling or the
    // dialog's own keys see it. A key still held from opening the window
    // repeats without closing it.
    if (event->type() == QEvent::KeyPress) {
        if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) FormKeyDown();
        return true;
    }
    return QDialog::event(event);
}

void TForm4::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
    activateWindow();
}

void TForm4::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    FormClick();
}

bool TForm4::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == AnyImage1 && event->type() == QEvent::MouseButtonRelease) {
        AnyImage1Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
