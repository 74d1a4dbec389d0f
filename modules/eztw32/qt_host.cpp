// libeztw32_qt.so: the scanner module's source dialog, clipboard, wait cursor and stored source in a Qt host.
#include "qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QInputDialog>
#include <QSettings>
#include <QStringList>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The host's widget application, only on the thread that runs it: widgets
// and the clipboard belong to that thread alone.
QApplication* widget_host()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread() ? app : nullptr;
}

// The caller hands over its window as a widget or as the widget's native id;
// it is only compared with the host's own windows, never dereferenced.
QWidget* owner_of(void* window)
{
    if (window) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (static_cast<void*>(widget) == window) return widget;
            const WId id = widget->internalWinId();
            if (id != 0 && reinterpret_cast<void*>(id) == window) return widget;
        }
    }
    return QApplication::activeWindow();
}

// The viewer's settings file: "Zarn.ini" in $XDG_CONFIG_HOME, else ~/.config.
QString settings_path()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const QString folder =
        (config && *config == '/') ? QFile::decodeName(config) : QDir::homePath() + QString::fromLatin1("/.config");
    return folder + QString::fromLatin1("/Zarn.ini");
}

// Texts handed to Qt are built on the heap: a literal's data would live in
// this module, which is unloaded after every call while Qt may keep a copy
// (its settings cache does).
QString source_key()
{
    return QString::fromLatin1("Show/ScanSource");
}

QImage image_of(const PicImage& pic)
{
    QImage image;
    if (pic.bits == 24) {
        image = QImage(pic.width, pic.height, QImage::Format_RGB888);
    } else if (pic.bits == 8) {
        image = QImage(pic.width, pic.height, QImage::Format_Indexed8);
        QList<QRgb> colours;
        for (int i = 0; i < 256; ++i)
            colours.push_back(qRgb(pic.palette[3 * i], pic.palette[3 * i + 1], pic.palette[3 * i + 2]));
        image.setColorTable(colours);
    } else if (pic.bits == 1) {
        image = QImage(pic.width, pic.height, QImage::Format_Mono);
        image.setColorTable({qRgb(pic.palette[0], pic.palette[1], pic.palette[2]),
                             qRgb(pic.palette[3], pic.palette[4], pic.palette[5])});
    }
    if (image.isNull() || !pic.pixels) return {};
    const std::size_t row = pic.bits == 24  ? 3 * std::size_t(pic.width)
                            : pic.bits == 8 ? std::size_t(pic.width)
                                            : (std::size_t(pic.width) + 7) / 8;
    for (int y = 0; y < pic.height; ++y) std::memcpy(image.scanLine(y), pic.pixels + std::size_t(y) * row, row);
    return image;
}

bool has_widgets()
{
    return widget_host() != nullptr;
}

std::optional<std::size_t> ask_for_source(void* window, const std::vector<std::string>& labels, std::size_t current)
{
    try {
        if (!widget_host() || labels.empty()) return std::nullopt;
        QStringList items;
        for (const std::string& label : labels) items.push_back(QString::fromStdString(label));
        bool chosen = false;
        const QString item = QInputDialog::getItem(owner_of(window), QString::fromLatin1("Select Source"),
                                                   QString::fromLatin1("Sources:"), items,
                                                   int(std::min(current, labels.size() - 1)), false, &chosen);
        const qsizetype index = items.indexOf(item);
        if (!chosen || index < 0) return std::nullopt;
        return std::size_t(index);
    } catch (...) {
        return std::nullopt;
    }
}

bool put_on_clipboard(const PicImage& pic)
{
    try {
        if (!widget_host()) return false;
        const QImage image = image_of(pic);
        if (image.isNull()) return false;
        QApplication::clipboard()->setImage(image);
        return true;
    } catch (...) {
        return false;
    }
}

void show_wait_cursor(bool on)
{
    try {
        if (!widget_host()) return;
        if (on) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else QApplication::restoreOverrideCursor();
    } catch (...) {
    }
}

std::string stored_source()
{
    try {
        const QSettings settings(settings_path(), QSettings::IniFormat);
        return settings.value(source_key()).toString().toStdString();
    } catch (...) {
        return {};
    }
}

void store_source(const std::string& name)
{
    try {
        QSettings settings(settings_path(), QSettings::IniFormat);
        settings.setValue(source_key(), QString::fromStdString(name));
        settings.sync();
    } catch (...) {
    }
}

const eztw32::QtHostTable kTable{has_widgets,      ask_for_source, put_on_clipboard,
                                 show_wait_cursor, stored_source,  store_source};

}  // namespace

extern "C" const eztw32::QtHostTable* eztw32_qt_host()
{
    return &kTable;
}
