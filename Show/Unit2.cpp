// TForm2: the preferences dialog.
#include "Unit2.h"

#include "file_filters.h"
#include "ui_Unit2.h"
#include "zarngfx.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// A format's extensions as the list and the button show them: a long list
// (the camera RAW kinds) by its first two and an ellipsis, so the dialog
// keeps its size; registration still takes every one.
QString shown_extensions(int n)
{
    const QString text = controls::library_text(_Pic_Extension(n));
    const QStringList pieces = text.split(',');
    if (pieces.size() <= 3) return text;
    return pieces[0] + ',' + pieces[1] + QStringLiteral(",\u2026");
}

constexpr QSize kDesignSize(456, 211);
constexpr QPoint kPanelOffset(456 - 280, 32);  // from the dialog's top right corner
constexpr int kPanelSize = 161;
constexpr int kRoomBelowPanel = 211 - 32 - kPanelSize;

using controls::library_text;

using Switch = std::pair<QCheckBox*, bool ViewerSettings::*>;

std::array<Switch, 15> switches(Ui::TForm2& ui)
{
    return {{{ui.CheckBox1, &ViewerSettings::AllowCrop},
             {ui.CheckBox2, &ViewerSettings::Centre},
             {ui.CheckBox3, &ViewerSettings::ToolBar},
             {ui.CheckBox4, &ViewerSettings::ToolBar1},
             {ui.CheckBox5, &ViewerSettings::Progress},
             {ui.CheckBox6, &ViewerSettings::StdButton},
             {ui.CheckBox7, &ViewerSettings::SingleClick},
             {ui.CheckBox8, &ViewerSettings::OnlyOne},
             {ui.CheckBox9, &ViewerSettings::Display},
             {ui.CheckBox10, &ViewerSettings::Overwrite},
             {ui.CheckBox11, &ViewerSettings::Loop},
             {ui.CheckBox12, &ViewerSettings::SlideBeep},
             {ui.CheckBox13, &ViewerSettings::SlideValid},
             {ui.CheckBox14, &ViewerSettings::FitLarge},
             {ui.CheckBox15, &ViewerSettings::WheelZoom}}};
}

// The radio button of a choice, numbered from 0 at the least value the setting takes.
int choice(const ViewerSettings& settings, int ViewerSettings::*member)
{
    const auto [least, most] = show::settingRange(member);
    return std::clamp(settings.*member, least, most) - least;
}

// An edit allows the numbers its setting may take.
void limit(TNumEdit& edit, int ViewerSettings::*member)
{
    const auto [least, most] = show::settingRange(member);
    edit.setMin(least);
    edit.setMax(most);
}

// The whole number an edit holds once its text is brought within its limits.
int limited_number(TNumEdit& edit)
{
    edit.ValidateText();
    return int(edit.Number());
}

}  // namespace

TForm2::TForm2(PreferencesHost& host)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::TForm2>()),
      host_(host)
{
    ui->setupUi(this);
    const ViewerSettings& settings = host_.preferences();

    QPalette black = ui->Panel1->palette();
    black.setColor(QPalette::Window, Qt::black);
    ui->Panel1->setPalette(black);
    ui->Panel1->setAutoFillBackground(true);
    ui->AnyImage1->installEventFilter(this);
    ui->Edit1->installEventFilter(this);

    // A position on no screen (one since unplugged) is left to the system.
    const QPoint position(settings.PrefsLeft, settings.PrefsTop);
    if (QGuiApplication::screenAt(position)) move(position);

    ui->ListBox1->addItem(QStringLiteral("Internal"));
    for (int i = 1; i <= host_.formatCount(); ++i) ui->ListBox1->addItem(shown_extensions(i));

    photo_cd_size_ = new QButtonGroup(this);
    jpeg_scale_ = new QButtonGroup(this);
    const std::array<QRadioButton*, 3> sizes{ui->RadioButton1, ui->RadioButton2, ui->RadioButton3};
    const std::array<QRadioButton*, 3> scales{ui->RadioButton4, ui->RadioButton5, ui->RadioButton6};
    for (int i = 0; i < 3; ++i) {
        photo_cd_size_->addButton(sizes[std::size_t(i)], i);
        jpeg_scale_->addButton(scales[std::size_t(i)], i);
    }
    // A value outside the choices shows as the nearest one.
    photo_cd_size_->button(choice(settings, &ViewerSettings::PhotoCDSize))->setChecked(true);
    jpeg_scale_->button(choice(settings, &ViewerSettings::JpegScale))->setChecked(true);

    limit(*ui->NumEdit1, &ViewerSettings::Slideshow);
    limit(*ui->NumEdit2, &ViewerSettings::CropStep);
    limit(*ui->NumEdit3, &ViewerSettings::JpegQuality);
    const auto [least_quality, most_quality] = show::settingRange(&ViewerSettings::JpegQuality);
    ui->TrackBar1->setRange(least_quality, most_quality);
    ui->TrackBar1->setValue(settings.JpegQuality);
    ui->NumEdit3->setNumber(ui->TrackBar1->value());
    ui->NumEdit1->setNumber(settings.Slideshow);
    ui->NumEdit2->setNumber(settings.CropStep);
    ui->Label3->setText(host_.registrationStatus());

    connect(ui->ListBox1, &QListWidget::currentRowChanged, this, &TForm2::ListBox1Click);
    connect(ui->Edit1, &QLineEdit::textChanged, this, &TForm2::Edit1Change);
    connect(ui->Button4, &QPushButton::clicked, this, &TForm2::Edit1DblClick);
    connect(ui->TrackBar1, &QSlider::valueChanged, this, &TForm2::TrackBar1Change);
    connect(ui->NumEdit3, &QLineEdit::textChanged, this, &TForm2::NumEdit3Change);
    connect(ui->Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TForm2::Button3Click);

    fit_design_size();
}

TForm2::~TForm2() = default;

void TForm2::Execute()
{
    exec();
}

void TForm2::fit_design_size()
{
    ensurePolished();
    const auto needed = [this] {
        reserve_longest_texts();
        const QSize pages = ui->PageControl1->minimumSizeHint();
        const int tabs = ui->PageControl1->tabBar()->sizeHint().width() + 4;
        return QSize(std::max(pages.width(), tabs), pages.height());
    };
    const auto fits = [](QSize size) {
        return size.width() <= kDesignSize.width() && size.height() <= kDesignSize.height();
    };
    QFont smaller = font();
    while (!fits(needed()) && smaller.pointSizeF() > 7.0) {
        smaller.setPointSizeF(smaller.pointSizeF() - 0.5);
        setFont(smaller);
    }

    // The preview panel lies over every tab page, in the room each page
    // leaves free on its right.
    const int panel_top = std::max(kPanelOffset.y(), ui->PageControl1->tabBar()->sizeHint().height() + 6);
    QSize size = kDesignSize.expandedTo(needed());
    size.setHeight(std::max(size.height(), panel_top + kPanelSize + kRoomBelowPanel));
    setFixedSize(size);
    ui->PageControl1->setGeometry(rect());
    ui->Panel1->move(size.width() - kPanelOffset.x(), panel_top);
    ui->Panel1->raise();
}

void TForm2::reserve_longest_texts()
{
    QListWidget& list = *ui->ListBox1;
    list.setMinimumWidth(list.sizeHintForColumn(0) + 2 * list.frameWidth() +
                         list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list));

    const QString caption = ui->Button2->text(), title = ui->GroupBox4->title();
    int button = 0, group = 0;
    for (int n = 1; n <= host_.formatCount(); ++n) {
        ui->Button2->setText(QStringLiteral("Register ") + shown_extensions(n));
        button = std::max(button, ui->Button2->sizeHint().width());
        ui->GroupBox4->setTitle(QStringLiteral("Editor for ") + library_text(_Pic_Description(n)));
        group = std::max(group, ui->GroupBox4->minimumSizeHint().width());
    }
    ui->Button2->setText(caption);
    ui->Button2->setMinimumWidth(button);
    ui->GroupBox4->setTitle(title);
    ui->GroupBox4->setMinimumWidth(group);
}

QString* TForm2::editor_entry(int n)
{
    auto& editors = host_.preferences().Editors;
    if (n < 0 || n >= int(editors.size())) return nullptr;
    return &editors[std::size_t(n)];
}

int TForm2::SelectedFormat() const
{
    const int row = ui->ListBox1->currentRow();
    return row < 1 ? 1 : row;
}

void TForm2::FormShow()
{
    filling_ = true;

    ui->AnyImage1->setPicture(host_.shownPicture());
    ui->AnyImage1->setGeometry(ui->Panel1->contentsRect());
    ui->AnyImage1->setProportional(true);

    const int shown = host_.shownFormat();
    const int format = shown >= 0 && shown <= host_.formatCount() ? shown : 0;
    ui->ListBox1->setCurrentRow(format);
    ListBox1Click();

    for (const auto& [box, field] : switches(*ui)) box->setChecked(host_.preferences().*field);
    ui->Label3->setText(host_.registrationStatus());
    filling_ = false;
}

void TForm2::ListBox1Click()
{
    const int n = SelectedFormat();
    const QString description = library_text(_Pic_Description(n));
    ui->Button2->setText(QStringLiteral("Register ") + shown_extensions(n));
    ui->GroupBox4->setTitle(QStringLiteral("Editor for ") + description);
    if (const QString* editor = editor_entry(n)) ui->Edit1->setText(*editor);
    ui->Label8->setText(QStringLiteral("%1 Code").arg(description));
    ui->Label9->setText(library_text(_Pic_Copyright(n)));
}

void TForm2::Edit1Change()
{
    if (filling_) return;
    if (QString* editor = editor_entry(SelectedFormat())) *editor = ui->Edit1->text();
}

void TForm2::Edit1DblClick()
{
    const int n = SelectedFormat();
    host_.chooseEditor(n);
    if (const QString* editor = editor_entry(n)) ui->Edit1->setText(*editor);
}

void TForm2::TrackBar1Change(int position)
{
    ui->NumEdit3->setNumber(position);
}

void TForm2::NumEdit3Change()
{
    // Too large a number cannot become right by typing on, so it is brought
    // to the limit at once; a number still too small may be the start of a
    // good one and is corrected when the box is left.
    const double typed = ui->NumEdit3->Number();
    if (typed > ui->NumEdit3->Max()) {
        ui->NumEdit3->setNumber(ui->NumEdit3->Max());
        return;
    }
    const QSignalBlocker quiet(ui->TrackBar1);  // the box keeps the text being typed
    ui->TrackBar1->setValue(int(typed));
}

void TForm2::Button2Click()
{
    host_.registerFormats(SelectedFormat());
    ui->Label3->setText(host_.registrationStatus());
}

void TForm2::Button3Click()
{
    host_.registerFormats(0);
    ui->Label3->setText(host_.registrationStatus());
}

void TForm2::Button1Click()
{
    close();
}

void TForm2::FormClose()
{
    ViewerSettings& settings = host_.preferences();
    settings.PrefsLeft = x();
    settings.PrefsTop = y();
    if (photo_cd_size_->checkedId() >= 0)
        settings.PhotoCDSize = photo_cd_size_->checkedId() + show::settingRange(&ViewerSettings::PhotoCDSize).first;
    if (jpeg_scale_->checkedId() >= 0)
        settings.JpegScale = jpeg_scale_->checkedId() + show::settingRange(&ViewerSettings::JpegScale).first;
    for (const auto& [box, field] : switches(*ui)) settings.*field = box->isChecked();
    settings.JpegQuality = limited_number(*ui->NumEdit3);
    settings.Slideshow = limited_number(*ui->NumEdit1);
    settings.CropStep = limited_number(*ui->NumEdit2);
}

void TForm2::done(int result)
{
    // Every way out (close box, Esc, the preview) passes here once.
    if (isVisible()) FormClose();
    QDialog::done(result);
}

void TForm2::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->AnyImage1 && event->type() == QEvent::MouseButtonRelease) {
        Button1Click();
        return true;
    }
    if (watched == ui->Edit1 && event->type() == QEvent::MouseButtonDblClick) {
        Edit1DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
