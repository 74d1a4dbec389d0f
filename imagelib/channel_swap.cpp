// Row kernels over three-byte pixels, red-blue exchange and greyscale, with SSSE3 routines chosen at run time.
#include "channel_swap.h"

#include <array>
#include <atomic>
#include <cpuid.h>
#include <cstdint>
#include <tmmintrin.h>

namespace zarn {
namespace {

// Output byte p of a run of pixels comes from input byte p - p % 3 + 2 - p % 3.
constexpr std::size_t source_of(std::size_t p)
{
    return p - p % 3 + (2 - p % 3);
}

// Sixteen pixels are 48 bytes, three vectors. Output vector `out` takes
// from input vector `in` the bytes whose source lies there; the others are
// marked 0x80, which the shuffle turns into zero.
constexpr std::array<std::int8_t, 16> shuffle_mask(std::size_t out, std::size_t in)
{
    std::array<std::int8_t, 16> mask{};
    for (std::size_t i = 0; i < 16; ++i) {
        const std::size_t source = source_of(16 * out + i);
        mask[i] = source / 16 == in ? static_cast<std::int8_t>(source % 16) : static_cast<std::int8_t>(-128);
    }
    return mask;
}

constexpr auto kMask00 = shuffle_mask(0, 0), kMask01 = shuffle_mask(0, 1);
constexpr auto kMask10 = shuffle_mask(1, 0), kMask11 = shuffle_mask(1, 1), kMask12 = shuffle_mask(1, 2);
constexpr auto kMask21 = shuffle_mask(2, 1), kMask22 = shuffle_mask(2, 2);

// Byte i of a shuffle's output takes input byte `source(i)`, or is zero
// where that is negative; the mask keeps only the bytes that lie in input
// vector `in` (bytes 16 * in to 16 * in + 15 of a run).
template <typename Source>
constexpr std::array<std::int8_t, 16> gather_mask(std::size_t in, Source source)
{
    std::array<std::int8_t, 16> mask{};
    for (std::size_t i = 0; i < 16; ++i) {
        const int from = source(i);
        mask[i] = from >= 0 && std::size_t(from) / 16 == in ? static_cast<std::int8_t>(from % 16)
                                                            : static_cast<std::int8_t>(-128);
    }
    return mask;
}

// Eight pixels starting at pixel `first` of a run, as 16-bit lanes: red and
// green side by side, or blue and a zero.
constexpr int red_green_source(std::size_t first, std::size_t i)
{
    return int(3 * (first + i / 2) + i % 2);
}
constexpr int blue_source(std::size_t first, std::size_t i)
{
    return i % 2 ? -1 : int(3 * (first + i / 2) + 2);
}

constexpr auto kRedGreen0a = gather_mask(0, [](std::size_t i) { return red_green_source(0, i); });
constexpr auto kRedGreen0b = gather_mask(1, [](std::size_t i) { return red_green_source(0, i); });
constexpr auto kBlue0a = gather_mask(0, [](std::size_t i) { return blue_source(0, i); });
constexpr auto kBlue0b = gather_mask(1, [](std::size_t i) { return blue_source(0, i); });
constexpr auto kRedGreen8b = gather_mask(1, [](std::size_t i) { return red_green_source(8, i); });
constexpr auto kRedGreen8c = gather_mask(2, [](std::size_t i) { return red_green_source(8, i); });
constexpr auto kBlue8b = gather_mask(1, [](std::size_t i) { return blue_source(8, i); });
constexpr auto kBlue8c = gather_mask(2, [](std::size_t i) { return blue_source(8, i); });

__attribute__((target("ssse3"))) inline __m128i load_mask(const std::array<std::int8_t, 16>& mask)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data()));
}

}  // namespace

void swap_red_blue_plain(const unsigned char* in, unsigned char* out, std::size_t count)
{
    for (std::size_t x = 0; x < count; ++x, in += 3, out += 3) {
        const unsigned char first = in[0];
        out[1] = in[1];
        out[0] = in[2];
        out[2] = first;
    }
}

__attribute__((target("ssse3"))) void swap_red_blue_ssse3(const unsigned char* in, unsigned char* out,
                                                          std::size_t count)
{
    const __m128i m00 = load_mask(kMask00), m01 = load_mask(kMask01);
    const __m128i m10 = load_mask(kMask10), m11 = load_mask(kMask11), m12 = load_mask(kMask12);
    const __m128i m21 = load_mask(kMask21), m22 = load_mask(kMask22);
    std::size_t done = 0;
    // All three vectors are loaded before any is stored, so working in place is safe.
    for (; done + 16 <= count; done += 16, in += 48, out += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        const __m128i x = _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01));
        const __m128i y =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)), _mm_shuffle_epi8(c, m12));
        const __m128i z = _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), y);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), z);
    }
    swap_red_blue_plain(in, out, count - done);
}

void grey_row_plain(const unsigned char* in, unsigned char* out, std::size_t count)
{
    for (std::size_t x = 0; x < count; ++x, in += 3)
        out[x] = static_cast<unsigned char>((30u * in[0] + 59u * in[1] + 11u * in[2]) / 100u);
}

// The weighted sum is at most 25500, so it fits a 16-bit lane, and
// (sum * 41944) >> 22 equals sum / 100 for every such sum.
__attribute__((target("ssse3"))) void grey_row_ssse3(const unsigned char* in, unsigned char* out, std::size_t count)
{
    const __m128i rg0a = load_mask(kRedGreen0a), rg0b = load_mask(kRedGreen0b);
    const __m128i b0a = load_mask(kBlue0a), b0b = load_mask(kBlue0b);
    const __m128i rg8b = load_mask(kRedGreen8b), rg8c = load_mask(kRedGreen8c);
    const __m128i b8b = load_mask(kBlue8b), b8c = load_mask(kBlue8c);
    const __m128i red_green_weights = _mm_set1_epi16(59 << 8 | 30);
    const __m128i blue_weight = _mm_set1_epi16(11);
    const __m128i reciprocal = _mm_set1_epi16(static_cast<short>(41944));
    std::size_t done = 0;
    for (; done + 16 <= count; done += 16, in += 48, out += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        const __m128i red_green0 = _mm_or_si128(_mm_shuffle_epi8(a, rg0a), _mm_shuffle_epi8(b, rg0b));
        const __m128i blue0 = _mm_or_si128(_mm_shuffle_epi8(a, b0a), _mm_shuffle_epi8(b, b0b));
        const __m128i red_green8 = _mm_or_si128(_mm_shuffle_epi8(b, rg8b), _mm_shuffle_epi8(c, rg8c));
        const __m128i blue8 = _mm_or_si128(_mm_shuffle_epi8(b, b8b), _mm_shuffle_epi8(c, b8c));
        const __m128i sum0 =
            _mm_add_epi16(_mm_maddubs_epi16(red_green0, red_green_weights), _mm_maddubs_epi16(blue0, blue_weight));
        const __m128i sum8 =
            _mm_add_epi16(_mm_maddubs_epi16(red_green8, red_green_weights), _mm_maddubs_epi16(blue8, blue_weight));
        const __m128i grey0 = _mm_srli_epi16(_mm_mulhi_epu16(sum0, reciprocal), 6);
        const __m128i grey8 = _mm_srli_epi16(_mm_mulhi_epu16(sum8, reciprocal), 6);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(grey0, grey8));
    }
    grey_row_plain(in, out, count - done);
}

// Asked once, on first use: the processor's answer does not change, and
// asking costs a trap to the hypervisor on virtual machines.
bool ssse3_available()
{
    static const bool available = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_SSSE3) != 0;
    }();
    return available;
}

void swap_red_blue(const unsigned char* in, unsigned char* out, std::size_t count)
{
    if (count >= 16 && ssse3_available()) swap_red_blue_ssse3(in, out, count);
    else swap_red_blue_plain(in, out, count);
}

void grey_row(const unsigned char* in, unsigned char* out, std::size_t count)
{
    if (count >= 16 && ssse3_available()) grey_row_ssse3(in, out, count);
    else grey_row_plain(in, out, count);
}

}  // namespace zarn
