// TPrintPreview: printing, printer setup, the PDF a printer-less desktop prints to, and the toolbar's glyphs.
#include "printd.h"

#include "printd_parts.h"
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
#include <cstdint>
#include <sys/stat.h>

namespace {

// True when both names reach one file, or would once the first is written.
bool same_file(const QString& first, const QString& second)
{
    struct stat a {}, b {};
    if (::stat(QFile::encodeName(first).constData(), &a) == 0 &&
        ::stat(QFile::encodeName(second).constData(), &b) == 0)
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

// A printer co-ordinate from the integer formula, kept within what a QRect holds.
int device(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, -(std::int64_t(1) << 30), std::int64_t(1) << 30));
}

}  // namespace

QString TPrintPreview::pdfNameFor(const QString& path)
{
    const QFileInfo picture(path);
    return picture.absolutePath() + QLatin1Char('/') + picture.completeBaseName() + QLatin1String(".pdf");
}

// The print dialog offers "<name>.pdf" beside the picture when there is no
// printer; whatever file is chosen, it is never the picture itself.
void TPrintPreview::SpeedButton1Click()
{
    if (ui->Image1->Picture().isNull()) return;
    QPrintDialog dialog(printer_.get(), this);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    if (dialog.exec() != QDialog::Accepted) return;
    if (printer_->outputFormat() == QPrinter::PdfFormat && same_file(printer_->outputFileName(), file_)) {
        tell(this, "PrintRefused",
             QStringLiteral("The printout would overwrite the picture itself. Choose another file name."));
        return;
    }
    if (!PrintImage()) {
        tell(this, "PrintFailed", QStringLiteral("The picture could not be printed."));
        return;
    }
    close();
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
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    const QPageSize::PageSizeId sizes[] = {QPageSize::A3,     QPageSize::A4,    QPageSize::A5,
                                           QPageSize::B5,     QPageSize::Letter, QPageSize::Legal,
                                           QPageSize::Executive};
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

constexpr int kGlyphSize = 20;

QPixmap drawn(Glyph glyph, bool down)
{
    QPixmap pixmap(kGlyphSize, kGlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40), paper(250, 250, 250), accent(0, 96, 160);
    painter.setPen(QPen(ink, 1.2));
    const auto text = [&](const QString& letters) {
        QFont font = painter.font();
        font.setPixelSize(11);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(accent);
        painter.drawText(QRect(0, 0, kGlyphSize, kGlyphSize), Qt::AlignCenter, letters);
    };
    switch (glyph) {
    case Glyph::Print:
    case Glyph::Setup:
        painter.setBrush(paper);
        painter.drawRect(QRectF(5.5, 2.5, 9, 6));      // paper going in
        painter.setBrush(QColor(180, 180, 180));
        painter.drawRect(QRectF(2.5, 8.5, 15, 7));     // the printer
        painter.setBrush(paper);
        painter.drawRect(QRectF(5.5, 13.5, 9, 4));     // and the page coming out
        if (glyph == Glyph::Setup) {
            painter.setBrush(accent);
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(QPointF(15, 15), 4, 4);
            painter.setBrush(paper);
            painter.drawEllipse(QPointF(15, 15), 1.5, 1.5);
        }
        break;
    case Glyph::FillPage:
        painter.setBrush(paper);
        painter.drawRect(QRectF(3.5, 1.5, 13, 17));
        painter.fillRect(QRectF(5, 3, 10, 14), accent);
        break;
    case Glyph::Exit:
        painter.setPen(QPen(QColor(190, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(5, 5), QPointF(15, 15));
        painter.drawLine(QPointF(15, 5), QPointF(5, 15));
        break;
    case Glyph::Proportional: {
        painter.setBrush(paper);
        painter.drawRect(QRectF(2.5, 4.5, 15, 11));
        painter.setPen(QPen(accent, 1.6));
        if (down) {  // free: width and height each their own way
            painter.drawLine(QPointF(5, 10), QPointF(15, 10));
            painter.drawLine(QPointF(10, 6.5), QPointF(10, 13.5));
        } else {  // proportional: along the diagonal
            painter.drawLine(QPointF(5, 13), QPointF(15, 7));
        }
        break;
    }
    case Glyph::Grid:
        painter.setBrush(paper);
        painter.drawRect(QRectF(2.5, 2.5, 15, 15));
        for (const double at : {7.5, 12.5}) {
            painter.drawLine(QPointF(at, 2.5), QPointF(at, 17.5));
            painter.drawLine(QPointF(2.5, at), QPointF(17.5, at));
        }
        break;
    case Glyph::Units: text(down ? QStringLiteral("mm") : QStringLiteral("in")); break;
    case Glyph::Frame:
        painter.fillRect(QRectF(2, 3, 16, 14), ink);
        painter.fillRect(QRectF(5, 6, 10, 8), accent);
        break;
    case Glyph::Coords: text(QStringLiteral("xy")); break;
    }
    return pixmap;
}

}  // namespace

QIcon toolGlyph(Glyph glyph)
{
    QIcon icon;
    icon.addPixmap(drawn(glyph, false), QIcon::Normal, QIcon::Off);
    icon.addPixmap(drawn(glyph, true), QIcon::Normal, QIcon::On);
    return icon;
}

}  // namespace printd
