// LazyFileDialog: a file dialog made when it is first needed, keeping what it was told before that.
#pragma once

#include <QDir>
#include <QFileDialog>
#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

// The folder a file dialog may start in: the kernel's folders (/proc, /sys,
// /dev) are not, since listing them reads files that block the interface
// (/proc/kmsg), so a dialog sent there starts at home instead; so does one
// sent nowhere.
inline QString dialogFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    for (const char* kernel : {"/proc", "/sys", "/dev"}) {
        if (clean == QLatin1String(kernel) || clean.startsWith(QLatin1String(kernel) + QLatin1Char('/')))
            return QDir::homePath();
    }
    return folder.isEmpty() ? QDir::homePath() : folder;
}

// Making a file dialog costs tens of milliseconds (each icon it shows is
// looked up in the icon theme), which a start with a picture to show should
// not pay before the picture is on screen. Steps given to `setup` before the
// dialog exists wait, and run in order as it is made; any use through the
// pointer makes it. Once made and destroyed with its parent, it stays gone.
class LazyFileDialog {
public:
    using Step = std::function<void(QFileDialog&)>;

    void setMaker(std::function<QFileDialog*()> make) { make_ = std::move(make); }
    void setup(Step step)
    {
        if (QFileDialog* dialog = made_ ? dialog_.data() : nullptr) step(*dialog);
        else if (!made_) pending_.push_back(std::move(step));
    }
    bool made() const { return made_; }

    QFileDialog* get()
    {
        if (!made_ && make_) {
            made_ = true;
            dialog_ = make_();
            std::vector<Step> steps;
            steps.swap(pending_);
            for (Step& step : steps)
                if (dialog_) step(*dialog_);
        }
        return dialog_.data();
    }
    QFileDialog* operator->() { return get(); }
    QFileDialog& operator*() { return *get(); }
    operator QFileDialog*() { return get(); }

private:
    std::function<QFileDialog*()> make_;
    std::vector<Step> pending_;
    QPointer<QFileDialog> dialog_;
    bool made_ = false;
};
