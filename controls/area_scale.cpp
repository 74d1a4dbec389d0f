// Area-averaging reduction: a vertical pass of whole rows into 32-bit sums, then a horizontal pass per result row.
#include "area_scale.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace controls {
namespace {

// Weights are fixed-point fractions of 2^8 per axis: a channel of 255 times
// the whole vertical weight still fits 16 bits, so the vertical pass adds
// eight channels at a time, and times the horizontal weight 32 bits.
constexpr int kWeightBits = 8;
constexpr std::uint32_t kWeightOne = 1u << kWeightBits;

// For each result index along one axis, the source pixels it covers and
// what part of it each one makes. Result pixel o covers [o*S, (o+1)*S) and
// source pixel i covers [i*T, (i+1)*T) in units of 1/(S*T) of the whole, so
// the overlaps are exact integers; the fixed-point weights are taken from
// rounded running totals, so each result's weights add up to exactly one.
// Every result has `taps` weights, the ones past its last pixel zero, so
// the horizontal pass runs a loop of fixed length.
struct AxisWeights {
    std::vector<int> first;  // per result index, from `begin`
    std::vector<int> count;
    std::vector<std::uint32_t> weight;  // `taps` per result index
    int taps = 1;
    int lowest = 0, highest = 0;  // the source span all of them read, highest exclusive
};

AxisWeights axis_weights(int source, int target, int begin, int end)
{
    AxisWeights axis;
    const std::int64_t s = source, t = target;
    axis.lowest = int(std::int64_t(begin) * s / t);
    axis.highest = axis.lowest + 1;
    for (int o = begin; o < end; ++o) {
        const int first = int(o * s / t);
        const int last = std::min(source - 1, int(((o + 1) * s - 1) / t));
        axis.first.push_back(first);
        axis.count.push_back(last - first + 1);
        axis.taps = std::max(axis.taps, last - first + 1);
        axis.highest = std::max(axis.highest, last + 1);
    }
    axis.weight.assign(axis.first.size() * std::size_t(axis.taps), 0);
    for (int o = begin; o < end; ++o) {
        const std::size_t index = std::size_t(o - begin);
        const std::int64_t from = o * s, to = (o + 1) * s;
        std::int64_t covered = 0;
        std::uint32_t given = 0;
        for (int k = 0; k < axis.count[index]; ++k) {
            const std::int64_t i = axis.first[index] + k;
            covered += std::min(to, (i + 1) * t) - std::max(from, i * t);
            const auto upto = std::uint32_t((covered * kWeightOne + s / 2) / s);
            axis.weight[index * std::size_t(axis.taps) + std::size_t(k)] = upto - given;
            given = upto;
        }
    }
    return axis;
}

// Bytes per pixel read as they are; 0 for formats widened row by row
// through their colour table.
int direct_bytes(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied: return 4;
    case QImage::Format_BGR888:
    case QImage::Format_RGB888: return 3;
    case QImage::Format_Grayscale8: return 1;
    default: return 0;
    }
}

bool widened(QImage::Format format)
{
    return format == QImage::Format_Indexed8 || format == QImage::Format_Mono || format == QImage::Format_MonoLSB;
}

// A row of an indexed or one-bit picture as 32-bit pixels, columns
// [from, to): an index past the colour table shows black.
void widen_row(const QImage& source, const QList<QRgb>& table, int y, int from, int to, std::uint32_t* out)
{
    const uchar* line = source.constScanLine(y);
    const auto colour = [&](int index) { return index < table.size() ? table[index] : qPremultiply(qRgb(0, 0, 0)); };
    if (source.format() == QImage::Format_Indexed8) {
        for (int x = from; x < to; ++x) out[x - from] = colour(line[x]);
    } else if (source.format() == QImage::Format_Mono) {
        for (int x = from; x < to; ++x) out[x - from] = colour((line[x >> 3] >> (7 - (x & 7))) & 1);
    } else {
        for (int x = from; x < to; ++x) out[x - from] = colour((line[x >> 3] >> (x & 7)) & 1);
    }
}

// Adds `weight` times a row's bytes to the column sums (or sets them, for
// the first row), sixteen bytes at a time where the processor has SSE2.
void accumulate(const uchar* line, std::size_t bytes, std::uint16_t weight, bool first, std::uint16_t* sums)
{
    std::size_t j = 0;
#ifdef __SSE2__
    const __m128i factor = _mm_set1_epi16(short(weight));
    const __m128i zero = _mm_setzero_si128();
    for (; j + 16 <= bytes; j += 16) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + j));
        __m128i low = _mm_mullo_epi16(_mm_unpacklo_epi8(in, zero), factor);
        __m128i high = _mm_mullo_epi16(_mm_unpackhi_epi8(in, zero), factor);
        auto* out = reinterpret_cast<__m128i*>(sums + j);
        if (!first) {
            low = _mm_add_epi16(low, _mm_loadu_si128(out));
            high = _mm_add_epi16(high, _mm_loadu_si128(out + 1));
        }
        _mm_storeu_si128(out, low);
        _mm_storeu_si128(out + 1, high);
    }
#endif
    if (first) {
        for (; j < bytes; ++j) sums[j] = std::uint16_t(line[j] * weight);
    } else {
        for (; j < bytes; ++j) sums[j] = std::uint16_t(sums[j] + line[j] * weight);
    }
}

// One result row from the column sums: `channels` sums per source pixel,
// `taps` weights per result pixel (0 when only known at run time).
template <int channels, int taps>
void horizontal(const std::uint16_t* sums, const AxisWeights& columns, bool bgr, uchar* out)
{
    constexpr std::uint32_t kHalf = 1u << (2 * kWeightBits - 1);
    const int n = int(columns.first.size());
    const int count = taps > 0 ? taps : columns.taps;
    auto* pixels = reinterpret_cast<QRgb*>(out);
    const std::uint32_t* w = columns.weight.data();
    for (int x = 0; x < n; ++x, w += count) {
        const std::uint16_t* in = sums + std::size_t(columns.first[std::size_t(x)] - columns.lowest) * channels;
        std::uint32_t total[channels] = {};
        for (int k = 0; k < count; ++k, in += channels)
            for (int c = 0; c < channels; ++c) total[c] += std::uint32_t(in[c]) * w[k];
        uchar value[channels];
        for (int c = 0; c < channels; ++c) value[c] = uchar((total[c] + kHalf) >> (2 * kWeightBits));
        if constexpr (channels == 4) {
            std::copy(value, value + 4, out + std::size_t(x) * 4);  // the source's own byte order
        } else if constexpr (channels == 3) {
            pixels[x] = bgr ? qRgb(value[2], value[1], value[0]) : qRgb(value[0], value[1], value[2]);
        } else {
            pixels[x] = qRgb(value[0], value[0], value[0]);
        }
    }
}

#ifdef __SSE2__
// The same for four channels, or three in blue-green-red order, with SSE2:
// the sums are halved to fit signed 16 bits, then each pair of taps is
// multiplied and added in one step. A three-channel tap reads one sum of
// the next pixel too, which lands in the alpha byte and is replaced.
void horizontal_sse2(const std::uint16_t* sums, const AxisWeights& columns, int channels, uchar* out)
{
    const int n = int(columns.first.size());
    const int taps = columns.taps;
    const __m128i rounding = _mm_set1_epi32(1 << (2 * kWeightBits - 2));
    const __m128i opaque = _mm_set1_epi32(channels == 3 ? int(0xff000000u) : 0);
    const std::uint32_t* w = columns.weight.data();
    auto* pixels = reinterpret_cast<std::uint32_t*>(out);
    for (int x = 0; x < n; ++x, w += taps) {
        const std::uint16_t* in =
            sums + std::size_t(columns.first[std::size_t(x)] - columns.lowest) * std::size_t(channels);
        __m128i total = _mm_setzero_si128();
        for (int k = 0; k < taps; k += 2, in += 2 * channels) {
            const __m128i a = _mm_srli_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in)), 1);
            const __m128i b = _mm_srli_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + channels)), 1);
            const std::uint32_t second = k + 1 < taps ? w[k + 1] : 0;
            const __m128i pair = _mm_set1_epi32(int(w[k] | (second << 16)));
            total = _mm_add_epi32(total, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), pair));
        }
        total = _mm_srli_epi32(_mm_add_epi32(total, rounding), 2 * kWeightBits - 1);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(total, total), total);
        pixels[x] = std::uint32_t(_mm_cvtsi128_si32(_mm_or_si128(bytes, opaque)));
    }
}
#endif

template <int channels>
void horizontal_row(const std::uint16_t* sums, const AxisWeights& columns, bool bgr, uchar* out)
{
#ifdef __SSE2__
    if (channels == 4 || (channels == 3 && bgr)) return horizontal_sse2(sums, columns, channels, out);
#endif
    switch (columns.taps) {
    case 1: horizontal<channels, 1>(sums, columns, bgr, out); break;
    case 2: horizontal<channels, 2>(sums, columns, bgr, out); break;
    case 3: horizontal<channels, 3>(sums, columns, bgr, out); break;
    case 4: horizontal<channels, 4>(sums, columns, bgr, out); break;
    case 5: horizontal<channels, 5>(sums, columns, bgr, out); break;
    default: horizontal<channels, 0>(sums, columns, bgr, out); break;
    }
}

// Writes the rows of `part` from `out` on, `stride` bytes apart.
void scale_part(const QImage& source, QSize target, QRect part, uchar* out_rows, qsizetype stride)
{
    const int bytes = widened(source.format()) ? 4 : direct_bytes(source.format());
    const AxisWeights columns = axis_weights(source.width(), target.width(), part.left(), part.right() + 1);
    const AxisWeights rows = axis_weights(source.height(), target.height(), part.top(), part.bottom() + 1);
    const int span = columns.highest - columns.lowest;
    const std::size_t row_bytes = std::size_t(span) * std::size_t(bytes);
    // Room past the span for the zero-weighted taps of the last columns.
    std::vector<std::uint16_t> sums(row_bytes + std::size_t((columns.taps + 2) * bytes));
    std::vector<std::uint32_t> wide(widened(source.format()) ? std::size_t(span) : 0);
    QList<QRgb> table = source.colorTable();
    for (QRgb& entry : table) entry = qPremultiply(entry);
    const bool bgr = source.format() == QImage::Format_BGR888;

    for (int y = 0; y < part.height(); ++y) {
        const std::uint32_t* w = rows.weight.data() + std::size_t(y) * std::size_t(rows.taps);
        for (int k = 0; k < rows.count[std::size_t(y)]; ++k) {
            const int sy = rows.first[std::size_t(y)] + k;
            const uchar* line = nullptr;
            if (!wide.empty()) {
                widen_row(source, table, sy, columns.lowest, columns.highest, wide.data());
                line = reinterpret_cast<const uchar*>(wide.data());
            } else {
                line = source.constScanLine(sy) + std::size_t(columns.lowest) * std::size_t(bytes);
            }
            accumulate(line, row_bytes, std::uint16_t(w[k]), k == 0, sums.data());
        }
        uchar* out = out_rows + stride * y;
        if (bytes == 4) horizontal_row<4>(sums.data(), columns, bgr, out);
        if (bytes == 3) horizontal_row<3>(sums.data(), columns, bgr, out);
        if (bytes == 1) horizontal_row<1>(sums.data(), columns, bgr, out);
    }
}

// A large part is cut into bands of rows reduced side by side, one to a
// processor: the bands read and write rows of their own only.
bool scale_in_bands(const QImage& source, QSize target, QRect part, QImage& into, QPoint at)
{
    constexpr qint64 kPixelsPerBand = 1 << 18;
    const qint64 pixels = qint64(part.width()) * part.height();
    const int processors = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    const int bands = int(std::min<qint64>({processors, pixels / kPixelsPerBand + 1, part.height()}));
    // Rows are written through one pointer taken here: taking it detaches
    // `into`, which only one thread may do.
    const qsizetype stride = into.bytesPerLine();
    uchar* out = into.bits() + stride * at.y() + qsizetype(at.x()) * 4;
    if (bands <= 1) {
        scale_part(source, target, part, out, stride);
        return true;
    }
    std::vector<std::thread> helpers;
    const auto band = [&](int i) {
        const int top = part.height() * i / bands, bottom = part.height() * (i + 1) / bands;
        scale_part(source, target, QRect(part.left(), part.top() + top, part.width(), bottom - top), out + stride * top,
                   stride);
    };
    try {
        for (int i = 1; i < bands; ++i) helpers.emplace_back(band, i);
    } catch (const std::system_error&) {
        // No thread to be had: the rest is done here.
        for (int i = int(helpers.size()) + 1; i < bands; ++i) band(i);
    }
    band(0);
    for (std::thread& helper : helpers) helper.join();
    return true;
}

}  // namespace

bool areaScalesDirectly(QImage::Format format)
{
    return direct_bytes(format) > 0 || widened(format);
}

QImage::Format areaScaledFormat(const QImage& source)
{
    return source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

bool areaScaledPart(const QImage& source, QSize target, QRect part, QImage& into, QPoint at)
{
    if (source.isNull() || target.isEmpty()) return false;
    part &= QRect(QPoint(0, 0), target);
    if (part.isEmpty() || at.x() < 0 || at.y() < 0) return false;
    if (into.format() != areaScaledFormat(source) || at.x() + part.width() > into.width() ||
        at.y() + part.height() > into.height())
        return false;
    if (areaScalesDirectly(source.format())) return scale_in_bands(source, target, part, into, at);
    const QImage converted = source.convertToFormat(areaScaledFormat(source));
    return !converted.isNull() && scale_in_bands(converted, target, part, into, at);
}

QImage areaScaled(const QImage& source, QSize target)
{
    if (source.isNull() || target.isEmpty()) return {};
    QImage result(target, areaScaledFormat(source));
    if (result.isNull() || !areaScaledPart(source, target, QRect(QPoint(0, 0), target), result, QPoint(0, 0)))
        return {};
    return result;
}

}  // namespace controls
