// TPrintPreview behind _Print_Preview: settings, units, the page's layout, the caption, the toolbar and the
// co-ordinates box.
#include "printd.h"

#include "dialog_session.h"
#include "printd_parts.h"
#include "settings_store.h"
#include "ui_printd.h"
#include "windows.h"

#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPrinter>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

using printd::rounded;

namespace {

// What the units button switches; both rulers take the same values.
struct Unit {
    double pixels_per_inch;
    double unit_per_pixel;
    double rescale;  // applied to the picture's rectangle on switching to this unit
    int tick_spacing, mid_ticks, mid_size, big_ticks;
    int grid_spacing, grid_mid_spacing;
    double rounding_offset;  // half a preview pixel, for typed co-ordinates
};

// Two preview pixels a millimetre, a numbered tick every centimetre, no mid ticks.
constexpr Unit kMillimetres{50.8, 0.5, 1.27, 4, 4, 4, 5, 40, 20, 0.25};
// Forty preview pixels an inch, ticks every eighth, mid ticks every half, numbers every inch.
constexpr Unit kInches{40, 0.025, 0.787, 5, 4, 8, 8, 40, 10, 0.0125};

constexpr int kToolbarHeight = 30;
constexpr int kScreenMargin = 64;
constexpr int kFarthest = 1 << 20;  // pixels; far beyond any page, well within int arithmetic
constexpr int kTitleButtons = 96;   // what a title bar keeps beside its text, close box and all

const Unit& unit_of(bool metric)
{
    return metric ? kMillimetres : kInches;
}

// The co-ordinates a unit switch gives: half a pixel is added and the whole
// part taken, so the value is rounded once and a switch there and back
// lands on, or next to, where it started.
int rescaled(int value, double factor)
{
    return rounded(double(value) * factor);
}

QString caption_text(bool metric, double dpi_x, double dpi_y, double width, double height, double left, double top)
{
    char caption[64];  // the caption holds up to 63 characters
    if (metric)
        std::snprintf(caption, sizeof caption, "Print %.0fx%.0fdpi: %.1fx%.1f  (x=%.1f  y=%.1f)", dpi_x, dpi_y, width,
                      height, left, top);
    else
        std::snprintf(caption, sizeof caption, "Print %.0fx%.0fdpi: %.3fx%.3f  (x=%.3f  y=%.3f)", dpi_x, dpi_y, width,
                      height, left, top);
    return QString::fromLatin1(caption);
}

// What the co-ordinates box shows: no more decimals than the caption's inches.
double three_decimals(double value)
{
    return std::round(value * 1000) / 1000;
}

}  // namespace

TPrintPreview::TPrintPreview(SettingsStore& settings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TPrintPreview>()), settings_(settings)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // Without an installed printer Qt writes a PDF file; its page is A4
    // whatever the locale would choose.
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (printer_->outputFormat() == QPrinter::PdfFormat) printer_->setPageSize(QPageSize(QPageSize::A4));

    QFont ruler_font(QStringLiteral("Arial"));
    ruler_font.setPixelSize(7);
    for (TRuler* ruler : {ui->Ruler1, ui->Ruler2}) ruler->setFont(ruler_font);

    // The page is white; the co-ordinates box on it keeps the window's colour.
    const QColor window_colour = palette().color(QPalette::Window);
    QPalette page_colours = ui->Panel2->palette();
    page_colours.setColor(QPalette::Window, Qt::white);
    ui->Panel2->setPalette(page_colours);
    ui->Panel2->setAutoFillBackground(true);
    QPalette box_colours = ui->Panel6->palette();
    box_colours.setColor(QPalette::Window, window_colour);
    ui->Panel6->setPalette(box_colours);
    ui->GraphPaper1->setColor(Qt::white);
    ui->GraphPaper1->setMidColor(palette().color(QPalette::Button));
    for (QWidget* black : {static_cast<QWidget*>(ui->Panel1), static_cast<QWidget*>(ui->Panel4)}) {
        QPalette colours = black->palette();
        colours.setColor(QPalette::Window, Qt::black);
        black->setPalette(colours);
        black->setAutoFillBackground(true);
    }
    // The rectangle takes every pointer event itself, in its own co-ordinates,
    // so hiding the picture during a drag cannot take the drag away from it.
    ui->Panel4->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->Image1->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->Image1->setProportional(false);
    ui->Image1->setCenterOnParent(false);
    ui->Image1->setStretch(true);
    ui->Panel1->setMouseTracking(true);
    ui->Panel1->installEventFilter(this);
    ui->Panel2->installEventFilter(this);
    ui->GraphPaper1->installEventFilter(this);

    for (TNumEdit* edit : {ui->NumEdit1, ui->NumEdit2, ui->NumEdit3, ui->NumEdit4}) edit->setAllowDecimal(true);
    // The page's co-ordinates run from -1000; a minus sign may be typed there.
    ui->NumEdit1->setAllowMinus(true);
    ui->NumEdit2->setAllowMinus(true);
    for (TNumEdit* edit : {ui->NumEdit3, ui->NumEdit4}) {
        edit->setMin(0.5);
        edit->setNumber(0.5);
    }
    ui->Panel6->resize(ui->Panel6->sizeHint());
    ui->Panel6->hide();

    const std::pair<QToolButton*, printd::Glyph> glyphs[] = {
        {ui->SpeedButton1, printd::Glyph::Print},        {ui->SpeedButton2, printd::Glyph::Setup},
        {ui->SpeedButton4, printd::Glyph::FillPage},     {ui->SpeedButton3, printd::Glyph::Exit},
        {ui->SpeedButton5, printd::Glyph::Proportional}, {ui->SpeedButton7, printd::Glyph::Grid},
        {ui->SpeedButton8, printd::Glyph::Units},        {ui->SpeedButton9, printd::Glyph::Frame},
        {ui->SpeedButton6, printd::Glyph::Coords}};
    for (const auto& [button, glyph] : glyphs) button->setIcon(printd::toolGlyph(glyph));

    // The window's place and the picture's, and the three toggles, as they
    // were left; a place edited far out of reach is brought back within it.
    const auto place = [&](const char* name) {
        return std::clamp(settings_.number(QLatin1String(name)), -kFarthest, kFarthest);
    };
    // The place is the inside's, set and read back as such: a window manager
    // may put a window's inside where a frame's place was asked for, and the
    // window would then creep by its border at every opening.
    setGeometry(QRect(QPoint(place("WindowLeft"), place("WindowTop")), size()));
    ui->Panel1->move(place("ImageLeft"), place("ImageTop"));
    ui->SpeedButton7->setChecked(settings_.flag(QStringLiteral("Grid")));
    ui->GraphPaper1->setVisible(ui->SpeedButton7->isChecked());
    ui->SpeedButton5->setChecked(settings_.flag(QStringLiteral("Proportional")));
    ui->SpeedButton8->setChecked(settings_.flag(QStringLiteral("Metric")));
    drag_mode = 0;
    frame_width = 0;
    ApplyUnits();

    // clicked, not toggled: only the user's presses act, not the settings above.
    connect(ui->SpeedButton1, &QToolButton::clicked, this, &TPrintPreview::SpeedButton1Click);
    connect(ui->SpeedButton2, &QToolButton::clicked, this, &TPrintPreview::SpeedButton2Click);
    connect(ui->SpeedButton3, &QToolButton::clicked, this, &TPrintPreview::SpeedButton3Click);
    connect(ui->SpeedButton4, &QToolButton::clicked, this, &TPrintPreview::SpeedButton4Click);
    connect(ui->SpeedButton5, &QToolButton::clicked, this, &TPrintPreview::SpeedButton5Click);
    connect(ui->SpeedButton6, &QToolButton::clicked, this, &TPrintPreview::SpeedButton6Click);
    connect(ui->SpeedButton7, &QToolButton::clicked, this, &TPrintPreview::SpeedButton7Click);
    connect(ui->SpeedButton8, &QToolButton::clicked, this, &TPrintPreview::SpeedButton8Click);
    connect(ui->SpeedButton9, &QToolButton::clicked, this, &TPrintPreview::SpeedButton9Click);
    connect(ui->NumEdit3, &QLineEdit::textChanged, this, &TPrintPreview::NumEdit3Change);
    connect(ui->Button1, &QPushButton::clicked, this, &TPrintPreview::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TPrintPreview::Button2Click);
}

TPrintPreview::~TPrintPreview() = default;

void TPrintPreview::LoadFile(const QString& path, const QString& named_after)
{
    file_ = path;
    named_after_ = named_after.isEmpty() ? path : named_after;
    ui->Image1->setFileName(path);
    if (printer_->outputFormat() == QPrinter::PdfFormat) printer_->setOutputFileName(pdfNameFor(named_after_));
}

bool TPrintPreview::Proportional() const
{
    return !ui->SpeedButton5->isChecked();
}

bool TPrintPreview::Metric() const
{
    return ui->SpeedButton8->isChecked();
}

QRect TPrintPreview::ImageRect() const
{
    return ui->Panel1->geometry();
}

void TPrintPreview::SetImageRect(const QRect& rect)
{
    ui->Panel1->setGeometry(rect);
}

void TPrintPreview::ApplyUnits()
{
    const Unit& unit = unit_of(Metric());
    pixels_per_inch = unit.pixels_per_inch;
    unit_per_pixel = unit.unit_per_pixel;
    for (TRuler* ruler : {ui->Ruler1, ui->Ruler2}) {
        ruler->setTickSpacing(unit.tick_spacing);
        ruler->setMidTicks(unit.mid_ticks);
        ruler->setMidSize(unit.mid_size);
        ruler->setBigTicks(unit.big_ticks);
    }
    ui->GraphPaper1->setTickSpacing(unit.grid_spacing);
    ui->GraphPaper1->setMidSpacing(unit.grid_mid_spacing);
}

void TPrintPreview::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

// A picture that did not load has no proportions: the page stays empty and
// there is nothing to place or print.
void TPrintPreview::FormShow()
{
    const QImage& picture = ui->Image1->Picture();
    const bool loaded = !picture.isNull() && picture.width() > 0 && picture.height() > 0;
    if (loaded) {
        aspect = double(picture.width()) / picture.height();
        inverse_aspect = double(picture.height()) / picture.width();
    } else {
        aspect = inverse_aspect = 1;
        ui->Panel1->hide();
        for (QToolButton* button : {ui->SpeedButton1, ui->SpeedButton4, ui->SpeedButton9, ui->SpeedButton6})
            button->setEnabled(false);
    }
    // The picture opens in its own proportions in either sizing mode: free
    // sizing left on for another picture would otherwise squash this one.
    QRect rect = ImageRect();
    if (aspect > 1) rect.setHeight(rounded(rect.width() / aspect));
    else rect.setWidth(rounded(rect.height() / inverse_aspect));
    SetImageRect(rect);
    LayoutPage();
    UpdateCaption();
}

// The printable area at the unit's preview pixels per inch, with a ruler's
// breadth of margin all round and the toolbar above, and wide enough for the
// caption; never wider or taller than the screen less 64 pixels. The
// vertical ruler reaches half a number's height up beside the horizontal
// one, so the 0 at the page's top edge is drawn whole.
void TPrintPreview::LayoutPage()
{
    dpi_x = printer_->logicalDpiX();
    dpi_y = printer_->logicalDpiY();
    const QRectF printable = printer_->pageRect(QPrinter::DevicePixel);
    const int page_width = dpi_x > 0 ? std::max(rounded(printable.width() / dpi_x * pixels_per_inch), 0) : 0;
    const int page_height = dpi_y > 0 ? std::max(rounded(printable.height() / dpi_y * pixels_per_inch), 0) : 0;

    const int ruler_width = ui->Ruler2->width(), ruler_height = ui->Ruler1->height();
    const QSize content(2 * ruler_width + page_width, 2 * ruler_height + page_height);
    ui->Panel2->setGeometry(ruler_width, ruler_height, page_width, page_height);
    ui->GraphPaper1->setGeometry(0, 0, page_width, page_height);
    ui->Ruler1->setGeometry(0, 0, content.width(), ruler_height);
    const int number_lead = std::min(QFontMetrics(ui->Ruler2->font()).height() / 2, ruler_height);
    ui->Ruler2->setStart(number_lead);
    ui->Ruler2->setGeometry(0, ruler_height - number_lead, ruler_width, content.height() - ruler_height + number_lead);
    ui->ScrollContent->resize(content);

    // The widest caption has the page's own size in every figure.
    const double widest = std::max(page_width, page_height) * unit_per_pixel;
    QFont title_font = font();
    title_font.setBold(true);
    const int title_width =
        QFontMetrics(title_font)
            .horizontalAdvance(caption_text(Metric(), dpi_x, dpi_y, widest, widest, widest, widest)) +
        kTitleButtons;
    int client_width = std::max(content.width(), title_width), client_height = content.height() + kToolbarHeight;
    QPoint place = geometry().topLeft();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect bounds = screen->geometry();
        const QSize frame = frameGeometry().size() - geometry().size();
        if (bounds.width() - kScreenMargin < client_width + frame.width()) {
            client_width = bounds.width() - kScreenMargin - frame.width();
            place.setX(bounds.left() + kScreenMargin / 2);
        }
        if (bounds.height() - kScreenMargin < client_height + frame.height()) {
            client_height = bounds.height() - kScreenMargin - frame.height();
            place.setY(bounds.top() + kScreenMargin / 2);
        }
    }
    setFixedSize(std::max(client_width, 1), std::max(client_height, 1));
    // A position remembered from another screen layout keeps the window on
    // this screen.
    if (screen) {
        const QRect free = screen->availableGeometry();
        const QSize outer = frameGeometry().size();
        place.setX(std::clamp(place.x(), free.left(), std::max(free.left(), free.right() + 1 - outer.width())));
        place.setY(std::clamp(place.y(), free.top(), std::max(free.top(), free.bottom() + 1 - outer.height())));
    }
    if (place != geometry().topLeft()) setGeometry(QRect(place, size()));
}

void TPrintPreview::UpdateCaption()
{
    const QRect rect = ImageRect();
    setWindowTitle(caption_text(Metric(), dpi_x, dpi_y, rect.width() * unit_per_pixel, rect.height() * unit_per_pixel,
                                rect.x() * unit_per_pixel, rect.y() * unit_per_pixel));
}

void TPrintPreview::SpeedButton3Click()
{
    close();
}

void TPrintPreview::SpeedButton4Click()
{
    const QSize page = ui->Panel2->size();
    int width = page.width(), height = page.height();
    if (Proportional()) {
        height = rounded(width / aspect);
        if (height > page.height()) {
            height = page.height();
            width = rounded(height * aspect);
        }
    }
    SetImageRect(QRect(0, 0, width, height));
    LayoutPage();
    UpdateCaption();
}

void TPrintPreview::SpeedButton5Click()
{
    if (Proportional()) {
        QRect rect = ImageRect();
        rect.setHeight(rounded(rect.width() / aspect));
        SetImageRect(rect);
    }
    UpdateCaption();
}

void TPrintPreview::SpeedButton7Click()
{
    ui->GraphPaper1->setVisible(ui->SpeedButton7->isChecked());
}

void TPrintPreview::SpeedButton8Click()
{
    const double factor = unit_of(Metric()).rescale;
    const QRect rect = ImageRect();
    SetImageRect(QRect(rescaled(rect.x(), factor), rescaled(rect.y(), factor), rescaled(rect.width(), factor),
                       rescaled(rect.height(), factor)));
    ApplyUnits();
    LayoutPage();
    UpdateCaption();
}

// The frame is the rectangle's own black, two pixels all round the picture.
void TPrintPreview::SpeedButton9Click()
{
    QRect rect = ImageRect();
    if (ui->SpeedButton9->isChecked()) {
        frame_width = 2;
        rect.adjust(-frame_width, -frame_width, frame_width, frame_width);
    } else {
        rect.adjust(frame_width, frame_width, -frame_width, -frame_width);
        frame_width = 0;
    }
    ui->Panel1->layout()->setContentsMargins(frame_width, frame_width, frame_width, frame_width);
    SetImageRect(rect);
    UpdateCaption();
}

// The box opens over the picture, kept on the page where it fits.
void TPrintPreview::SpeedButton6Click()
{
    const QRect rect = ImageRect();
    const QSize page = ui->Panel2->size(), box = ui->Panel6->size();
    const int left = std::max(std::min(rect.x(), page.width() - box.width()), 0);
    const int top = std::max(std::min(rect.y(), page.height() - box.height()), 0);
    ui->Panel6->move(left, top);
    ui->Panel6->show();
    ui->Panel6->raise();
    ui->NumEdit4->setEnabled(!Proportional());
    ui->NumEdit3->setNumber(three_decimals(rect.width() * unit_per_pixel));
    ui->NumEdit4->setNumber(three_decimals(rect.height() * unit_per_pixel));
    ui->NumEdit2->setNumber(three_decimals(rect.x() * unit_per_pixel));
    ui->NumEdit1->setNumber(three_decimals(rect.y() * unit_per_pixel));
}

void TPrintPreview::NumEdit3Change()
{
    if (Proportional()) ui->NumEdit4->setNumber(three_decimals(ui->NumEdit3->Number() / aspect));
}

// Typed values become whole preview pixels, to the nearest: the unit's half
// pixel is added and the whole part taken. A width of 10 pixels or less
// leaves the size as it was.
void TPrintPreview::Button1Click()
{
    for (TNumEdit* edit : {ui->NumEdit1, ui->NumEdit2, ui->NumEdit3, ui->NumEdit4}) edit->ValidateText();
    const double offset = unit_of(Metric()).rounding_offset;
    const auto pixels = [&](TNumEdit* edit) { return (edit->Number() + offset) / unit_per_pixel; };
    const double top = pixels(ui->NumEdit1), left = pixels(ui->NumEdit2);
    const double width = pixels(ui->NumEdit3), height = pixels(ui->NumEdit4);
    ui->Panel6->hide();

    QRect rect = ImageRect();
    rect.moveTo(rounded(std::floor(left)), rounded(std::floor(top)));
    if (width > 10) {
        rect.setWidth(rounded(std::floor(width)));
        rect.setHeight(rounded(std::floor(height)));
        if (Proportional()) rect.setHeight(rounded(rect.width() / aspect));
    }
    SetImageRect(rect);
    UpdateCaption();
}

void TPrintPreview::Button2Click()
{
    ui->Panel6->hide();
}

void TPrintPreview::done(int result)
{
    if (!closed) {
        closed = true;
        FormClose();
    }
    QDialog::done(result);
}

// The picture's place is stored without the frame, which always starts off.
void TPrintPreview::FormClose()
{
    const QRect rect = ImageRect();
    settings_.setNumber(QStringLiteral("WindowTop"), geometry().y());
    settings_.setNumber(QStringLiteral("WindowLeft"), geometry().x());
    settings_.setNumber(QStringLiteral("ImageTop"), rect.y() + frame_width);
    settings_.setNumber(QStringLiteral("ImageLeft"), rect.x() + frame_width);
    settings_.setFlag(QStringLiteral("Proportional"), ui->SpeedButton5->isChecked());
    settings_.setFlag(QStringLiteral("Grid"), ui->SpeedButton7->isChecked());
    settings_.setFlag(QStringLiteral("Metric"), ui->SpeedButton8->isChecked());
    settings_.sync();
}

namespace gfx24 {

// The settings group lives for the call and goes after the window.
void PrintPreview(const char* path)
{
    SettingsStore settings(QStringLiteral("PrintPreview"));
    TPrintPreview window(settings);
    const auto [picture, named_after] = TPrintPreview::splitArgument(QByteArray(path));
    window.LoadFile(picture, named_after);
    execModal(window);
}

}  // namespace gfx24
