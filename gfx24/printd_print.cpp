// TPrintPreview: printing, printer setup, the PDF a printer-less desktop prints to, and the toolbar's glyphs.
#include "printd.h"

#include "artwork.h"
#include "printd_parts.h"
#include "private_temp.h"
#include "ui_printd.h"
#include "ui_printd_setup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// True when both names reach one file, or would once the first is written.
bool same_file(const QString& first, const QString& second)
{
    struct stat a {
    }, b{};
    if (::stat(QFile::encodeName(first).constData(), &a) == 0 && ::stat(QFile::encodeName(second).constData(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    return QDir::cleanPath(QFileInfo(first).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(second).absoluteFilePath());
}

void tell(QWidget* owner, const char* object_name, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Print"), text, QMessageBox::Ok, owner);
    box.setObjectName(QLatin1String(object_name));
    box.exec();
}

bool is_file(const QByteArray& path)
{
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// A new empty file beside `path`, made with the umask's mode (an old file's
// when there is one); empty when none can be made there.
QString part_file_for(const QString& path)
{
    const QFileInfo target(path);
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName() + QLatin1Char('.') +
                         QString::number(::getpid()) + QLatin1Char('.');
    struct stat old {};
    const bool replaces = ::stat(QFile::encodeName(path).constData(), &old) == 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = stem + QString::number(attempt);
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return {};
        }
        const bool ready = !replaces || ::fchmod(fd, old.st_mode & 07777) == 0;
        ::close(fd);
        if (ready) return name;
        ::unlink(QFile::encodeName(name).constData());
        return {};
    }
    return {};
}

// A printer co-ordinate from the integer formula, kept within what a QRect holds.
int device(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, -(std::int64_t(1) << 30), std::int64_t(1) << 30));
}

}  // namespace

// The private temporary folder is nobody's place to look for a printout,
// and nothing there outlives the viewer.
QString TPrintPreview::pdfNameFor(const QString& path)
{
    const QFileInfo picture(path);
    const QFileInfo folder(picture.absolutePath());
    const QString private_folder = controls::privateTempDir();
    const bool usable = folder.isDir() && folder.isWritable() &&
                        (private_folder.isEmpty() || !same_file(folder.absoluteFilePath(), private_folder));
    return (usable ? folder.absoluteFilePath() : QDir::homePath()) + QLatin1Char('/') + picture.completeBaseName() +
           QLatin1String(".pdf");
}

// The viewer prints its working copy and names the picture it was made from
// after it, on a line of its own.
std::pair<QString, QString> TPrintPreview::splitArgument(const QByteArray& argument)
{
    if (!is_file(argument)) {
        for (qsizetype at = argument.indexOf('\n'); at >= 0; at = argument.indexOf('\n', at + 1)) {
            const QByteArray picture = argument.left(at);
            if (is_file(picture)) return {QFile::decodeName(picture), QFile::decodeName(argument.mid(at + 1))};
        }
    }
    return {QFile::decodeName(argument), QString()};
}

// The print dialog offers "<name>.pdf" beside the picture when there is no
// printer, and asks itself before an older file of the chosen name is
// replaced; whatever file is chosen, it is never the picture itself.
void TPrintPreview::SpeedButton1Click()
{
    if (ui->Image1->Picture().isNull()) return;
    QPrintDialog dialog(printer_.get(), this);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    if (dialog.exec() != QDialog::Accepted) return;
    // The dialog may have changed the paper or its orientation: the page
    // follows, so the picture keeps its size and place on the paper.
    LayoutPage();
    UpdateCaption();
    const bool to_file = printer_->outputFormat() == QPrinter::PdfFormat;
    const QString output = printer_->outputFileName();
    if (to_file && (same_file(output, file_) || same_file(output, named_after_))) {
        tell(this, "PrintRefused",
             QStringLiteral("The printout would overwrite the picture itself. Choose another file name."));
        return;
    }
    if (!(to_file ? PrintToFile(output) : PrintImage())) {
        tell(this, "PrintFailed", QStringLiteral("The picture could not be printed."));
        return;
    }
    close();
}

// Printed into a new file beside `output` and renamed over it once complete,
// so a printout that fails leaves an older file as it was.
bool TPrintPreview::PrintToFile(const QString& output)
{
    const QString part = part_file_for(output);
    if (part.isEmpty()) return false;
    printer_->setOutputFileName(part);
    const bool printed =
        PrintImage() && ::rename(QFile::encodeName(part).constData(), QFile::encodeName(output).constData()) == 0;
    if (!printed) ::unlink(QFile::encodeName(part).constData());
    printer_->setOutputFileName(output);
    return printed;
}

void TPrintPreview::SpeedButton2Click()
{
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
        TPaperSetup dialog(*printer_, this);
        dialog.exec();
    } else {
        QPageSetupDialog dialog(printer_.get(), this);
        dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
        dialog.exec();
    }
    LayoutPage();
    UpdateCaption();
}

// The rectangle scales from the page's preview pixels to the printable
// area's printer pixels in integer arithmetic; the frame becomes a black
// band of the printer's equivalent of its preview pixels.
bool TPrintPreview::PrintImage()
{
    const QImage& picture = ui->Image1->Picture();
    const std::int64_t page_width = ui->Panel2->width(), page_height = ui->Panel2->height();
    if (picture.isNull() || page_width <= 0 || page_height <= 0) return false;
    QPainter painter;
    if (!painter.begin(printer_.get())) return false;
    painter.setBrush(Qt::black);

    const QRectF printable = printer_->pageRect(QPrinter::DevicePixel);
    const auto printable_width = std::int64_t(printable.width()), printable_height = std::int64_t(printable.height());
    const QRect image = ImageRect();
    const std::int64_t left = printable_width * image.x() / page_width;
    const std::int64_t top = printable_height * image.y() / page_height;
    const std::int64_t right = printable_width * image.width() / page_width + left;
    const std::int64_t bottom = printable_height * image.height() / page_height + top;
    QRect target(QPoint(device(left), device(top)), QPoint(device(right) - 1, device(bottom) - 1));
    if (frame_width > 0) {
        painter.fillRect(target, Qt::black);
        const int band = device(printable_width * frame_width / page_width);
        target.adjust(band, band, -band, -band);
    }
    if (target.isValid()) painter.drawImage(target, picture);
    return painter.end();
}

TPaperSetup::TPaperSetup(QPrinter& printer, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TPaperSetup>()), printer_(printer)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const QPageSize::PageSizeId sizes[] = {QPageSize::A3,     QPageSize::A4,    QPageSize::A5,       QPageSize::B5,
                                           QPageSize::Letter, QPageSize::Legal, QPageSize::Executive};
    const QPageLayout layout = printer_.pageLayout();
    for (const QPageSize::PageSizeId id : sizes) {
        ui->ComboBox1->addItem(QPageSize::name(id), int(id));
        if (layout.pageSize().id() == id) ui->ComboBox1->setCurrentIndex(ui->ComboBox1->count() - 1);
    }
    const bool landscape = layout.orientation() == QPageLayout::Landscape;
    ui->RadioButton1->setChecked(!landscape);
    ui->RadioButton2->setChecked(landscape);
    connect(ui->Button1, &QPushButton::clicked, this, &TPaperSetup::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TPaperSetup::~TPaperSetup() = default;

void TPaperSetup::Button1Click()
{
    printer_.setPageSize(QPageSize(QPageSize::PageSizeId(ui->ComboBox1->currentData().toInt())));
    printer_.setPageOrientation(ui->RadioButton2->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
    accept();
}

namespace printd {
namespace {

// The drawing a button shows up (off) or down (on); the toggles draw their
// down state their own way (free sizing, millimetres).
const char* drawing(Glyph glyph, bool down)
{
    switch (glyph) {
    case Glyph::Print: return "print";
    case Glyph::Setup: return "printer-setup";
    case Glyph::FillPage: return "fill-page";
    case Glyph::Exit: return "close";
    case Glyph::Proportional: return down ? "free-size" : "proportional";
    case Glyph::Grid: return "grid";
    case Glyph::Units: return down ? "units-mm" : "units-inch";
    case Glyph::Frame: return "frame";
    case Glyph::Coords: return "coordinates";
    }
    return "print";
}

}  // namespace

QIcon toolGlyph(Glyph glyph)
{
    QIcon icon;
    for (const bool down : {false, true}) {
        const QString name = QLatin1String(drawing(glyph, down));
        for (const int side : {16, 20, 24, 32}) {
            for (const qreal ratio : {1.0, 2.0})
                icon.addPixmap(artwork::pixmap(name, QSize(side, side), ratio), QIcon::Normal,
                               down ? QIcon::On : QIcon::Off);
        }
    }
    return icon;
}

}  // namespace printd
