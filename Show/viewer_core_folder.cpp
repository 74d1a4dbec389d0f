// ViewerCore: stepping to the next, previous, first or last picture of the current file's folder.
#include "viewer_core.h"

#include "neighbours.h"
#include "picture_load.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// The slide show's order: ascending ignoring case; names differing only in
// case keep a fixed order.
bool listed_before(const QString& a, const QString& b)
{
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

}  // namespace

void ViewerCore::list_folder(const QString& folder)
{
    listing_.folder = folder;
    listing_.stamp = FileStamp::of(folder);
    listing_.names.clear();
    const QDir dir(folder);
    // Admitted by extension alone: a folder of thousands of files is listed
    // without opening any of them.
    for (const QString& name : dir.entryList(QDir::Files, QDir::NoSort)) {
        if (_Pic_ValidExt(QFile::encodeName(dir.filePath(name)).constData(), 1) != 0) listing_.names << name;
    }
    std::sort(listing_.names.begin(), listing_.names.end(), listed_before);
}

bool ViewerCore::step(PictureStep step, bool beep)
{
    if (FileName.isEmpty()) {
        QApplication::beep();
        return false;
    }
    const QFileInfo current(FileName);
    const QString folder = current.absolutePath();
    const QString name = current.fileName();
    // The folder is listed again only when it is another one or has changed,
    // so each step costs one search of the list.
    if (listing_.folder != folder || !(listing_.stamp == FileStamp::of(folder))) list_folder(folder);

    // A file that fails to load is passed over; a load that fails leaves the
    // picture on screen but names the file it tried, which is put back when
    // no picture follows.
    const QString kept_name = FileName, kept_title = FileTitle, kept_caption = title_;
    const int kept_format = PicFormat;
    bool asked = false;
    const bool to_end = step == PictureStep::First || step == PictureStep::Last;
    const qsizetype stride = step == PictureStep::Next || step == PictureStep::First ? 1 : -1;
    bool relisted = false;
    for (bool again = true; again;) {
        again = false;
        const QStringList& names = listing_.names;
        qsizetype at = 0;
        switch (step) {
        case PictureStep::Next:
            at = std::upper_bound(names.begin(), names.end(), name, listed_before) - names.begin();
            break;
        case PictureStep::Previous:
            at = std::lower_bound(names.begin(), names.end(), name, listed_before) - names.begin() - 1;
            break;
        case PictureStep::First: at = 0; break;
        case PictureStep::Last: at = names.size() - 1; break;
        }
        for (; at >= 0 && at < names.size(); at += stride) {
            // From an end inwards, the current picture is as far as there is to go.
            if (to_end && names.at(at) == name) break;
            const QString path = QDir(folder).filePath(names.at(at));
            if (!QFileInfo::exists(path)) {
                if (relisted) continue;
                relisted = again = true;  // the list is out of date: once more on a fresh one
                list_folder(folder);
                break;
            }
            // A changed picture goes only with the user's leave, asked once
            // a picture to go to has been found.
            if (!asked && (holdsAhead(path) || _Pic_Valid(QFile::encodeName(path).constData()) != 0)) {
                asked = true;
                if (confirmDiscard && !confirmDiscard()) return false;
            }
            if (load(path)) return true;
        }
    }
    FileName = kept_name;
    FileTitle = kept_title;
    PicFormat = kept_format;
    setTitle(kept_caption);
    if (beep) QApplication::beep();
    return false;
}

// The folder's next and previous pictures, read at the size they will be
// shown, while the user looks at this one.
void ViewerCore::read_ahead()
{
    if (closed_ || FileName.isEmpty() || WorkingFile.isEmpty() || settings_.Display) return;
    const QFileInfo current(FileName);
    const QString folder = current.absolutePath();
    if (listing_.folder != folder || !(listing_.stamp == FileStamp::of(folder))) list_folder(folder);
    const QStringList& names = listing_.names;
    const auto at = std::lower_bound(names.begin(), names.end(), current.fileName(), listed_before);
    const qsizetype here = at - names.begin();
    const bool listed = at != names.end() && *at == current.fileName();
    const show::LoadOptions options = load_options();
    std::vector<show::Neighbours::Wanted> wanted;
    for (const qsizetype index : {listed ? here + 1 : here, here - 1}) {
        if (index < 0 || index >= names.size()) continue;
        const QString path = QDir(folder).filePath(names.at(index));
        const int format = _Pic_Valid(QFile::encodeName(path).constData());
        if (!show::readsWithoutModule(format)) continue;
        wanted.push_back({path, format, show::planRead(path, format, options, shownSize)});
    }
    reads_started_ += neighbours_->readAhead(wanted, options);
}
