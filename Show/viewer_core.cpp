// ViewerCore: its working file, the picture's display and caption, the progress it reports, and its end.
#include "viewer_core.h"

#include "command_line.h"
#include "neighbours.h"
#include "picture_load.h"
#include "picture_store.h"

#include <QApplication>
#include <QFile>
#include <QLocalServer>
#include <QMessageBox>
#include <QTime>
#include <QTimer>

#include <cstring>

ViewerCore* ViewerCore::live_ = nullptr;
int ViewerCore::reads_started_ = 0;

ViewerCore::ViewerCore(ViewerSettings& settings, QObject* parent)
    : QObject(parent),
      settings_(settings),
      pic_(std::make_unique<PicImage>()),
      own_display_(std::make_unique<PictureStore>()),
      display_(own_display_.get()),
      title_(QStringLiteral("Show")),
      neighbours_(std::make_unique<show::Neighbours>()),
      read_ahead_timer_(new QTimer(this))
{
    *pic_ = PicImage{};
    live_ = this;
    // A zero timer: the reads ahead begin once the picture is painted and
    // the event loop has nothing else to do.
    read_ahead_timer_->setSingleShot(true);
    read_ahead_timer_->setInterval(0);
    connect(read_ahead_timer_, &QTimer::timeout, this, &ViewerCore::read_ahead);
    // The working file lives in the private temporary folder, under a name
    // this viewer holds while it runs. What viewers that were killed left
    // there goes first: nothing else would ever remove it.
    const QString private_dir = controls::privateTempDir();
    controls::removeStaleWorkingFiles(private_dir);
    controls::Reservation reserved = controls::reserveWorkingFile(private_dir, QTime::currentTime());
    WorkingFile = reserved.path;
    working_lock_ = std::move(reserved.lock);
}

ViewerCore::~ViewerCore()
{
    neighbours_->clear();
    finishWorkingFile();
    clearHistory();
    if (live_ == this) live_ = nullptr;
}

void ViewerCore::setDisplay(PictureStore* display)
{
    display_ = display ? display : own_display_.get();
}

const QImage& ViewerCore::picture() const
{
    return display_->Picture();
}

bool ViewerCore::hasPicture() const
{
    return !picture().isNull() && !WorkingFile.isEmpty();
}

bool ViewerCore::fullPictureAvailable()
{
    finishWorkingFile();
    if (beforeCommand) beforeCommand();
    if (!view_only_) return true;
    modal([] {
        return QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Show"),
                                        QStringLiteral("The picture is too large to edit."));
    });
    return false;
}

bool ViewerCore::show_file(const QString& path)
{
    const bool loaded = display_->LoadFromFile(path);
    emit pictureChanged();
    return loaded;
}

void ViewerCore::show_picture(const QImage& picture)
{
    display_->setPicture(picture);
    emit pictureChanged();
}

void ViewerCore::show_description(const QString& description)
{
    emit descriptionChanged(description);
}

void ViewerCore::show_seconds(qint64 milliseconds)
{
    const qint64 hundredths = milliseconds / 10;
    emit secondsChanged(QString::number(double(hundredths) * 0.01, 'g'));
}

// The record's description is a fixed field that need not end in a zero.
QString ViewerCore::description() const
{
    return QString::fromLocal8Bit(pic_->description, qsizetype(strnlen(pic_->description, sizeof pic_->description)));
}

void ViewerCore::followProgressSetting()
{
    pic_->progress = settings_.Progress ? &ViewerCore::reportProgress : nullptr;
}

void ViewerCore::reportProgress(std::int32_t current, std::int32_t total)
{
    if (!live_ || total <= 0) return;
    emit live_->progressChanged(int(std::int64_t(current) * 100 / total));
}

void ViewerCore::setTitle(const QString& title)
{
    title_ = title;
    emit titleChanged(title);
    // Another viewer may have held the name when this one started; once it
    // has gone, the first change of caption takes the name over.
    if (copies_ && !copies_->isListening()) copies_->listen(show::handOffServerName());
}

void ViewerCore::showFileTitle()
{
    setTitle(QStringLiteral("Show - ") + FileTitle);
}

void ViewerCore::close()
{
    if (closed_) return;
    closed_ = true;
    read_ahead_timer_->stop();
    neighbours_->clear();
    // A picture still being read goes unwritten: the working file goes too.
    if (working_write_) {
        drop_working_file();
        working_write_.reset();
        QFile::remove(WorkingFile.chopped(4) + QStringLiteral(".load.bmp"));
    }
    clearHistory();
    if (!WorkingFile.isEmpty()) QFile::remove(WorkingFile);
    working_lock_.release();
}
