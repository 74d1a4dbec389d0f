// InfoPanel: the file, its size and kind from the viewer, then the EXIF and XMP entries of the metadata module.
#include "info_panel.h"

#include "metadata_module.h"
#include "picture_store.h"
#include "viewer_core.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QScreen>

#include <algorithm>
#include <iterator>

namespace show {
namespace {

// "Jpeg, 24-bit" from "Jpeg : 4032x3024 - 24bit (100%)"; a palette picture
// tells its colours too.
QString format_of(const QString& description, const PicImage& pic)
{
    QString name = description.section(QStringLiteral(" : "), 0, 0).trimmed();
    if (name.isEmpty()) name = description.trimmed();
    QString depth = QStringLiteral("%1-bit").arg(pic.bits);
    if (pic.bits > 0 && pic.bits <= 8 && pic.colours > 0) depth += QStringLiteral(", %1 colours").arg(pic.colours);
    return name.isEmpty() ? depth : name + QStringLiteral(", ") + depth;
}

}  // namespace

InfoPanel::InfoPanel(ViewerCore& core, const PictureStore& display, QWidget* viewer)
    : QWidget(viewer, Qt::Tool), core_(core), display_(display), viewer_(viewer), rows_(new QFormLayout(this))
{
    setObjectName(QStringLiteral("InfoPanel"));
    setWindowTitle(QStringLiteral("Information"));
    // The viewer keeps the keyboard: the arrows still step through the folder.
    setAttribute(Qt::WA_ShowWithoutActivating);
    rows_->setSizeConstraint(QLayout::SetFixedSize);
    rows_->setLabelAlignment(Qt::AlignRight);
    viewer_->installEventFilter(this);
    connect(&core_, &ViewerCore::fileShown, this, [this] {
        if (isVisible()) fill();
    });
}

QString InfoPanel::sizeOnDisk(qint64 bytes)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    if (bytes < 1024) return QStringLiteral("%1 bytes").arg(bytes);
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    double size = double(bytes) / 1024;
    std::size_t unit = 0;
    while (size >= 1024 && unit + 1 < std::size(kUnits)) {
        size /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2 (%3 bytes)")
        .arg(QString::number(size, 'f', 1), QLatin1String(kUnits[unit]), english.toString(bytes));
}

void InfoPanel::toggle()
{
    if (closeIfOpen()) return;
    if (!core_.hasPicture()) {
        QApplication::beep();
        return;
    }
    fill();
    place_beside_viewer();
    show();
    place_beside_viewer();  // its frame is known once it is on screen
}

bool InfoPanel::closeIfOpen()
{
    if (!isVisible()) return false;
    close();
    return true;
}

void InfoPanel::fill()
{
    entries_.clear();
    const QString path = core_.FileName;
    const QFileInfo file(path);
    if (!path.isEmpty() && file.isFile()) {
        entries_.append({QStringLiteral("File"), file.fileName()});
        entries_.append({QStringLiteral("Folder"), QDir::toNativeSeparators(file.absolutePath())});
        entries_.append({QStringLiteral("Size on disk"), sizeOnDisk(file.size())});
    }
    const QSize pixels = display_.fullSize();
    if (!pixels.isEmpty())
        entries_.append({QStringLiteral("Pixels"), QStringLiteral("%1 x %2").arg(pixels.width()).arg(pixels.height())});
    entries_.append({QStringLiteral("Format"), format_of(core_.description(), *core_.pic())});
    if (file.isFile()) {
        for (const auto& [label, value] : zarn::describe_metadata(QFile::encodeName(path).toStdString()))
            entries_.append({QString::fromStdString(label), QString::fromStdString(value)});
    }

    while (rows_->rowCount() > 0) rows_->removeRow(0);
    for (const auto& [label, value] : entries_) {
        auto* text = new QLabel(value);
        text->setTextFormat(Qt::PlainText);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        rows_->addRow(label + QLatin1Char(':'), text);
    }
    adjustSize();
}

// To the right of the viewer, top edges level; to its left when the screen
// has no room on the right; never off the screen's available area.
void InfoPanel::place_beside_viewer()
{
    const QRect viewer = viewer_->frameGeometry();
    const QScreen* screen = viewer_->screen();
    const QRect room = screen ? screen->availableGeometry() : viewer;
    const QSize panel = frameGeometry().size();
    int left = viewer.right() + 1;
    if (left + panel.width() > room.right() + 1) left = viewer.left() - panel.width();
    left = std::clamp(left, room.left(), std::max(room.left(), room.right() + 1 - panel.width()));
    const int top = std::clamp(viewer.top(), room.top(), std::max(room.top(), room.bottom() + 1 - panel.height()));
    move(left, top);
}

// A window of its own, it would stay on screen when the viewer goes (closed,
// minimised, or left for the full-screen show): it goes with it.
bool InfoPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == viewer_ && event->type() == QEvent::Hide) close();
    return QWidget::eventFilter(watched, event);
}

void InfoPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_I) {
        close();
        return;
    }
    // Every other key works as it does in the viewer, Next and Previous included.
    QApplication::sendEvent(viewer_, event);
}

}  // namespace show
