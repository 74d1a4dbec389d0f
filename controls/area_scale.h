// Area-averaging reduction of pictures: each result pixel the mean of the source pixels it covers.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace controls {

// The picture reduced (or enlarged) to `target`: every result pixel is the
// mean of the source area it covers, a source pixel cut by its edge counting
// by the part inside, so fine patterns show as their mean, never as
// whichever lines a sampling hits. The result is RGB32, or
// ARGB32_Premultiplied when the source has alpha (averaged premultiplied,
// so transparent pixels lend no colour). Null for a null source or an empty
// target.
QImage areaScaled(const QImage& source, QSize target);

// The same result's rectangle `part` only (clipped to the result), written
// into `into` with its top left at `at`; `into` must have
// areaScaledFormat(source) and room for the part. False when nothing could
// be written. Only the source rows and columns under `part` are read, so a
// visible part of a large result costs no more than its own size.
bool areaScaledPart(const QImage& source, QSize target, QRect part, QImage& into, QPoint at);

// The format areaScaled gives for `source`.
QImage::Format areaScaledFormat(const QImage& source);

// True when `format` is read as it is; any other source is converted whole
// first on every call, which a caller scaling one picture often may do once.
bool areaScalesDirectly(QImage::Format format);

}  // namespace controls
