// Show: the viewer program's entry.
#include "Unit1.h"
#include "command_line.h"
#include "message_box.h"
#include "picture_load.h"
#include "picturebox.h"
#include "settings_store.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

// For the first-paint benchmark (bench/viewer_first_paint_bench.cpp): with
// ZARN_REPORT_FIRST_PAINT=path in the environment, once the loaded picture
// has been painted for the first time the program writes the monotonic clock
// (CLOCK_MONOTONIC) and the processor time it has used so far
// (CLOCK_PROCESS_CPUTIME_ID), both in nanoseconds, to that file and closes its window.
class FirstPaintReport : public QObject {
public:
    FirstPaintReport(TForm1& form, QString path) : QObject(&form), form_(form), path_(std::move(path))
    {
        picture_ = form.findChild<TPictureBox*>(QStringLiteral("Image1"));
        if (picture_) picture_->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == picture_ && event->type() == QEvent::Paint && !reported_ && !picture_->Picture().isNull()) {
            reported_ = true;
            // Queued, so the clock is read once this paint has gone to the screen.
            QMetaObject::invokeMethod(this, &FirstPaintReport::report, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void report()
    {
        const auto nanoseconds = [](clockid_t clock) {
            timespec now{};
            clock_gettime(clock, &now);
            return QByteArray::number(qint64(now.tv_sec) * 1000000000 + now.tv_nsec);
        };
        const QByteArray line = nanoseconds(CLOCK_MONOTONIC) + ' ' + nanoseconds(CLOCK_PROCESS_CPUTIME_ID) + '\n';
        QFile file(path_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(line);
        file.close();
        form_.close();
    }

    TForm1& form_;
    QString path_;
    TPictureBox* picture_ = nullptr;
    bool reported_ = false;
};

// SIGTERM and SIGINT close the viewer as Esc does, so its working file and
// lock go with it. A signal handler may do next to nothing: it writes a byte
// to a pipe that the event loop watches.
int close_signal_pipe[2] = {-1, -1};

extern "C" void on_close_signal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(close_signal_pipe[1], &byte, 1);
    errno = saved;
}

class CloseOnSignal {
public:
    CloseOnSignal()
    {
        if (::pipe2(close_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(close_signal_pipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            // Every loop ends, that of a modal window included.
            if (close_if_signalled()) QCoreApplication::exit(0);
        });
        struct sigaction action {};
        action.sa_handler = on_close_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
    }

    // The window a signal closes from now on.
    void watch(TForm1& form) { form_ = &form; }

    // True once a signal came; the window is then closed, without a
    // question, for nobody is there to answer it.
    bool close_if_signalled()
    {
        char bytes[16];
        while (close_signal_pipe[0] >= 0 && ::read(close_signal_pipe[0], bytes, sizeof bytes) > 0) arrived_ = true;
        if (arrived_ && form_) form_->closeWithoutAsking();
        return arrived_;
    }

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    TForm1* form_ = nullptr;
    bool arrived_ = false;
};

}  // namespace

int main(int argc, char* argv[])
{
    // Asked for its usage, the program prints it and makes no window, so it
    // needs no display either.
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(show::usageText().toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zarn"));
    QApplication::setApplicationName(QStringLiteral("Show"));
    const QStringList arguments = QApplication::arguments().mid(1);

    // A picture named alone is read while the window is made, unless a
    // running viewer is likely to take it over. Not before the application
    // exists: making it sets the locale and the environment, which the
    // reader looks at.
    std::optional<show::BackgroundRead> early;
    if (const show::VerbAndPath named = show::splitVerb(show::argumentText(arguments));
        named.verb.isNull() && !named.path.isEmpty() && !show::viewerMayBeListening()) {
        // Fitted, a large JPEG is read first at the reduction that is shown.
        const SettingsStore store;
        early.emplace(named.path, show::storedLoadOptions(store), show::screenShownSize(store));
    }

    // A viewer already running takes the argument over, and this copy ends
    // without a window of its own.
    if (show::handOffToRunningViewer(show::argumentText(arguments))) return 0;

    CloseOnSignal close_on_signal;
    show::installLibraryMessageBox();
    try {
        TForm1 form;
        if (const QString report = qEnvironmentVariable("ZARN_REPORT_FIRST_PAINT"); !report.isEmpty())
            new FirstPaintReport(form, report);
        close_on_signal.watch(form);
        if (close_on_signal.close_if_signalled()) return 0;
        const bool stays = form.DispatchArgument(arguments, early ? &*early : nullptr);
        // A read the window did not take gives its memory back now.
        early.reset();
        if (close_on_signal.close_if_signalled()) return 0;
        if (!stays) {
            // The verb's work was all this run had to do. A window that never
            // shows is never activated, so it is closed here rather than on
            // its first activation.
            form.exitClick();
            return 0;
        }
        form.show();
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Show"), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
