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

#include <ctime>
#include <exception>
#include <optional>

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

}  // namespace

int main(int argc, char* argv[])
{
    // A picture named alone is read while the application and its window
    // are made, unless a running viewer is likely to take it over. Should
    // the arguments not name it after all (options Qt takes for itself), the
    // read goes unused.
    QStringList given;
    for (int i = 1; i < argc; ++i) given << QString::fromLocal8Bit(argv[i]);
    std::optional<show::BackgroundRead> early;
    if (const show::VerbAndPath named = show::splitVerb(show::argumentText(given));
        named.verb.isNull() && !named.path.isEmpty() && !show::viewerMayBeListening())
        early.emplace(named.path, show::storedLoadOptions(SettingsStore()));

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zarn"));
    QApplication::setApplicationName(QStringLiteral("Show"));

    // A viewer already running takes the argument over, and this copy ends
    // without a window of its own.
    const QStringList arguments = QApplication::arguments().mid(1);
    if (show::handOffToRunningViewer(show::argumentText(arguments))) return 0;

    show::installLibraryMessageBox();
    try {
        TForm1 form;
        if (const QString report = qEnvironmentVariable("ZARN_REPORT_FIRST_PAINT"); !report.isEmpty())
            new FirstPaintReport(form, report);
        if (!form.DispatchArgument(arguments, early ? &*early : nullptr)) {
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
