// TSizeIt: the resize dialog behind _SizeImage, from showing the file's size to rewriting it.
#include "resize.h"

#include "ui_resize.h"
#include "windows.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <cmath>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr double kMinSide = 16;
constexpr double kMaxSide = 5000;

// What tells a rewritten file from the one before it: the write path puts a
// new file in its place, so the inode changes; a direct write changes the time.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    off_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stamp_of(const QByteArray& path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) return std::nullopt;
    return FileStamp{info.st_dev, info.st_ino, std::int64_t(info.st_mtim.tv_sec), std::int64_t(info.st_mtim.tv_nsec),
                     info.st_size};
}

// The hourglass while the library works on the file.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TSizeIt::TSizeIt(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TSizeIt>())
{
    instance = this;
    record = gfx24::newRecord(&TSizeIt::ShowProgress);
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // Max first: the edits start at -1000..1000 and take a new limit only
    // while Min stays below Max.
    for (TNumEdit* edit : {ui->NumEdit1, ui->NumEdit2}) {
        edit->setAllowDecimal(false);
        edit->setMax(kMaxSide);
        edit->setMin(kMinSide);
        edit->setToolTip(QStringLiteral("From %1 to %2 pixels").arg(kMinSide).arg(kMaxSide));
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { ShowClamped(edit); });
    }
    ui->Progbar1->setPenColor(QColor(0, 128, 128));

    // textChanged, not textEdited: the presets set the width and rely on
    // its change rule too. Only the width has a rule, so setting the height
    // from it starts no loop.
    connect(ui->NumEdit1, &QLineEdit::textChanged, this, &TSizeIt::NumEdit1Change);
    connect(ui->CheckBox1, &QCheckBox::toggled, this, &TSizeIt::CheckBox1Click);
    connect(ui->Button1, &QPushButton::clicked, this, &TSizeIt::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TSizeIt::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TSizeIt::Button3Click);
    connect(ui->Button4, &QPushButton::clicked, this, &TSizeIt::Button4Click);
    connect(ui->Button5, &QPushButton::clicked, this, &TSizeIt::Button5Click);
    connect(ui->Button6, &QPushButton::clicked, this, &TSizeIt::Button6Click);
    connect(ui->Button7, &QPushButton::clicked, this, &TSizeIt::Button7Click);
    connect(ui->Button8, &QPushButton::clicked, this, &TSizeIt::Button8Click);
    connect(ui->Button9, &QPushButton::clicked, this, &TSizeIt::Button9Click);
    connect(ui->Button10, &QPushButton::clicked, this, &TSizeIt::Button10Click);

    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TSizeIt::~TSizeIt()
{
    instance = nullptr;
}

bool TSizeIt::LoadFile(const char* path)
{
    file = QByteArray(path ? path : "");
    if (file.isEmpty() || !record) return false;
    return _checkbmp(file.constData(), record.get()) != 0 && record->width > 0 && record->height > 0;
}

void TSizeIt::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TSizeIt::FormShow()
{
    confirmed = 0;
    const std::int32_t width = record ? record->width : 0;
    const std::int32_t height = record ? record->height : 0;
    // The width first: its change rule sets the height, which is then
    // replaced by the file's own.
    ui->NumEdit1->setNumber(width);
    ui->NumEdit2->setNumber(height);
    ui->NumEdit2->setEnabled(!ui->CheckBox1->isChecked());
    // A header without a width gives no ratio; the sides then stay equal.
    ratio = width > 0 ? std::int32_t(std::min<std::int64_t>(std::int64_t(height) * 100 / width, INT32_MAX)) : 100;
}

// The height follows the width at the file's own ratio, in whole percent.
void TSizeIt::NumEdit1Change()
{
    if (!ui->CheckBox1->isChecked()) return;
    ui->NumEdit2->setNumber(ui->NumEdit1->Number() * ratio * 0.01);
}

// A side typed past the largest, or as 0, which no further digit brings within
// the limits, shows at once as the side the resize will use. One below the
// smallest may still grow by a digit; it is brought up when the box is left.
void TSizeIt::ShowClamped(TNumEdit* edit)
{
    if (edit->text().isEmpty()) return;
    const double typed = edit->Number();
    if (typed > kMaxSide || typed == 0) edit->ValidateText();
}

void TSizeIt::CheckBox1Click()
{
    ui->NumEdit2->setEnabled(!ui->CheckBox1->isChecked());
}

void TSizeIt::SetPreset(std::int64_t width, std::int64_t height)
{
    if (!ui->CheckBox1->isChecked()) ui->NumEdit2->setNumber(double(height));
    const QString before = ui->NumEdit1->text();
    ui->NumEdit1->setNumber(double(width));
    // An unchanged text raises no change; the rule still applies.
    if (ui->NumEdit1->text() == before) NumEdit1Change();
}

void TSizeIt::Button3Click()
{
    SetPreset(320, 240);
}

void TSizeIt::Button4Click()
{
    SetPreset(640, 480);
}

void TSizeIt::Button5Click()
{
    SetPreset(800, 600);
}

void TSizeIt::Button6Click()
{
    SetPreset(1024, 768);
}

// The percentages are of the file's size, not of what the edits show.
void TSizeIt::Button7Click()
{
    const std::int64_t width = record ? record->width : 0, height = record ? record->height : 0;
    SetPreset(width / 2, height / 2);
}

void TSizeIt::Button8Click()
{
    const std::int64_t width = record ? record->width : 0, height = record ? record->height : 0;
    SetPreset(width * 3 / 4, height * 3 / 4);
}

void TSizeIt::Button9Click()
{
    const std::int64_t width = record ? record->width : 0, height = record ? record->height : 0;
    SetPreset(width + width / 2, height + height / 2);
}

void TSizeIt::Button10Click()
{
    const std::int64_t width = record ? record->width : 0, height = record ? record->height : 0;
    SetPreset(width * 2, height * 2);
}

void TSizeIt::Button1Click()
{
    confirmed = 1;
    close();
}

void TSizeIt::Button2Click()
{
    close();
}

void TSizeIt::done(int result)
{
    if (!closed) {
        closed = true;
        FormClose();
    }
    QDialog::done(result);
}

void TSizeIt::FormClose()
{
    try {
        if (confirmed && record) {
            // A value typed but not yet checked (the focus still in its
            // edit) is brought within the limits first.
            ui->NumEdit1->ValidateText();
            ui->NumEdit2->ValidateText();
            const auto width = int(std::lround(std::clamp(ui->NumEdit1->Number(), kMinSide, kMaxSide)));
            const auto height = int(std::lround(std::clamp(ui->NumEdit2->Number(), kMinSide, kMaxSide)));
            resized = ResizeFile(width, height);
        }
    } catch (...) {
        resized = false;
    }
    record.reset();
}

// _bmpresize answers with the record whatever happens, so success is read
// from the file: it must have been replaced, and its header must show the
// new size. A failed read writes nothing; a failed resize writes the image
// at its old size, through the same safe path.
bool TSizeIt::ResizeFile(int width, int height)
{
    const std::optional<FileStamp> before = stamp_of(file);
    {
        WaitCursor hourglass;
        _bmpresize(file.constData(), file.constData(), record.get(), width, height);
    }
    const std::optional<FileStamp> after = stamp_of(file);
    if (!after || after == before) return false;
    if (record->width != width || record->height != height) return false;
    PicImage header{};
    return _checkbmp(file.constData(), &header) != 0 && header.width == width && header.height == height;
}

void TSizeIt::ShowProgress(std::int32_t current, std::int32_t total)
{
    if (instance) gfx24::showProgress(instance->ui->Progbar1, current, total);
}

namespace gfx24 {

int SizeImage(const char* path)
{
    TSizeIt window;
    if (!window.LoadFile(path)) return 0;
    execModal(window);
    return window.Resized() ? 1 : 0;
}

}  // namespace gfx24
