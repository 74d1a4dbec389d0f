// The pictures beside the one shown in its folder, read ahead at the size they will be shown.
#include "neighbours.h"

#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace show {
namespace {

// What holding the shown picture costs, estimated from its header before
// anything is read; zero when the header says nothing.
qint64 estimated_bytes(const Neighbours::Wanted& wanted)
{
    if (wanted.plan.scale > 0) {
        const int d = wanted.plan.denominator();
        return qint64((wanted.plan.fullSize.width() + d - 1) / d) * ((wanted.plan.fullSize.height() + d - 1) / d) * 3;
    }
    const QSize size = QImageReader(wanted.path).size();
    return size.isValid() ? qint64(size.width()) * size.height() * 3 : 0;
}

}  // namespace

int Neighbours::readAhead(const std::vector<Wanted>& wanted, LoadOptions options)
{
    std::vector<Held> kept;
    int begun = 0;
    qint64 bytes = 0;
    for (const Wanted& next : wanted) {
        if (kept.size() >= kMaxPictures) break;
        auto held = find(next.path);
        if (held != held_.end() && !(held->options == options)) held = held_.end();
        const qint64 cost = held != held_.end() ? held->job->shownBytes() : estimated_bytes(next);
        if (bytes + cost > kMaxBytes) continue;
        bytes += cost;
        if (held != held_.end()) {
            kept.push_back(std::move(*held));
            continue;
        }
        const QFileInfo file(next.path);
        Held read{next, options, std::make_unique<PictureJob>(next.path, options, next.plan), file.lastModified(),
                  file.size()};
        if (!read.job->started()) continue;
        ++begun;
        kept.push_back(std::move(read));
    }
    held_ = std::move(kept);
    return begun;
}

std::vector<Neighbours::Held>::iterator Neighbours::find(const QString& path)
{
    auto held = std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return h.job && h.wanted.path == path; });
    if (held == held_.end()) return held;
    const QFileInfo file(path);
    if (file.lastModified() == held->modified && file.size() == held->bytes) return held;
    held_.erase(held);
    return held_.end();
}

std::unique_ptr<PictureJob> Neighbours::take(const QString& path, LoadOptions options)
{
    const auto held = find(path);
    if (held == held_.end() || !(held->options == options)) return nullptr;
    std::unique_ptr<PictureJob> job = std::move(held->job);
    held_.erase(held);
    return job;
}

int Neighbours::formatOf(const QString& path)
{
    const auto held = find(path);
    return held == held_.end() ? 0 : held->wanted.format;
}

bool Neighbours::ready(const QString& path)
{
    const auto held = find(path);
    return held != held_.end() && held->job->shownReady();
}

void Neighbours::clear()
{
    held_.clear();
}

void Neighbours::keepFolder(const QString& folder)
{
    std::erase_if(held_, [&](const Held& held) { return QFileInfo(held.wanted.path).absolutePath() != folder; });
}

}  // namespace show
