// A baseline JPEG at an eighth of its size from the DC terms: the AC terms are only stepped over, several Huffman
// symbols at a time, which is most of what a scaled libjpeg decode spends its time on.
#include "jpeg_eighth.h"

#include "record.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <atomic>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <optional>

namespace zarn {
namespace {

constexpr int kFastBits = 9;   // DC codes decoded by one look
constexpr int kSkipBits = 13;  // AC symbols stepped over by one look
constexpr int kDcBits = 10;    // DC codes with their extra bits taken by one look
constexpr std::size_t kMostBlocksInMcu = 10;

struct Huffman {
    bool present = false;
    std::array<std::int32_t, 18> maxcode{};    // the largest code of each length, -1 for none
    std::array<std::int32_t, 17> valoffset{};  // a code's symbol index less the code
    std::array<std::uint8_t, 256> values{};
    // Length << 8 | symbol for codes of kFastBits or fewer bits; 0 otherwise.
    std::array<std::uint16_t, 1 << kFastBits> fast{};
    // For each kSkipBits bits: the bits the whole AC symbols in them take
    // (codes and extra bits), the coefficients they step over, and whether
    // the last is the end of block, as bits | advance << 5 | end << 13.
    // Bits 0 when no symbol fits.
    std::array<std::uint16_t, 1 << kSkipBits> skip{};
    // For DC tables, each kDcBits bits whose code and extra bits fit in
    // them: the bits used in the low byte, the difference they give above;
    // 0 when they do not fit.
    std::array<std::int32_t, 1 << kDcBits> whole_dc{};
};

// The symbol whose code starts `code_bits` (a left-aligned value of
// `available` bits); length 0 when no code of at most that many bits does.
std::pair<int, int> find_code(const Huffman& table, std::uint32_t code_bits, int available)
{
    for (int length = 1; length <= std::min(available, 16); ++length) {
        const auto code = std::int32_t(code_bits >> (32 - length));
        if (code <= table.maxcode[std::size_t(length)])
            return {length, table.values[std::size_t(code + table.valoffset[std::size_t(length)])]};
    }
    return {0, 0};
}

inline int extended(std::uint32_t value, int size)
{
    return value < (1u << (size - 1)) ? int(value) - (1 << size) + 1 : int(value);
}

bool build_huffman(Huffman& table, std::span<const std::uint8_t, 16> counts, std::span<const std::uint8_t> values,
                   bool ac)
{
    table = Huffman();
    std::int32_t code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = counts[std::size_t(length - 1)];
        table.valoffset[std::size_t(length)] = index - code;
        for (int i = 0; i < count; ++i, ++code, ++index) {
            if (code >= (1 << length)) return false;
            if (length <= kFastBits) {
                const int shift = kFastBits - length;
                const auto entry = std::uint16_t(length << 8 | values[std::size_t(index)]);
                for (int fill = 0; fill < 1 << shift; ++fill) table.fast[std::size_t(code << shift | fill)] = entry;
            }
        }
        // Codes must fit their length, and the all-ones code is not one.
        if (code >= (1 << length)) return false;
        table.maxcode[std::size_t(length)] = count ? code - 1 : -1;
        code <<= 1;
    }
    table.maxcode[17] = 0x7FFFFFFF;
    std::copy(values.begin(), values.end(), table.values.begin());
    if (!ac) {
        for (std::uint32_t look = 0; look < 1u << kDcBits; ++look) {
            const auto [length, size] = find_code(table, look << (32 - kDcBits), kDcBits);
            if (length == 0 || size > 11 || length + size > kDcBits) continue;
            const std::uint32_t extra = (look >> (kDcBits - length - size)) & ((1u << size) - 1);
            const int difference = size == 0 ? 0 : extended(extra, size);
            table.whole_dc[look] = std::int32_t(std::uint32_t(difference) << 8 | std::uint32_t(length + size));
        }
    }
    if (ac) {
        for (std::uint32_t look = 0; look < 1u << kSkipBits; ++look) {
            int used = 0, advance = 0, end = 0;
            while (used < kSkipBits) {
                const std::uint32_t rest = (look << (32 - kSkipBits + used)) & 0xFFFFFFFFu;
                const auto [length, symbol] = find_code(table, rest, kSkipBits - used);
                const int run = symbol >> 4, extra = symbol & 15;
                if (length == 0 || extra > 10 || used + length + extra > kSkipBits) break;
                used += length + extra;
                if (extra != 0) {
                    advance += run + 1;
                } else if (run == 15) {
                    advance += 16;
                } else {
                    end = 1;
                    break;
                }
            }
            table.skip[look] = std::uint16_t(used | advance << 5 | end << 13);
        }
    }
    table.present = true;
    return true;
}

// Bits from the top of a 64-bit store, filled from the scan's bytes: four
// at a time while none is 0xFF, else one by one, taking out the stuffing
// and stopping at a marker. Past a marker (or the end) zeros come in, and
// `made_up` counts them.
struct BitReader {
    std::span<const std::uint8_t> file;
    std::size_t at = 0;
    std::uint64_t store = 0;
    int count = 0;
    std::size_t made_up = 0;
    std::uint64_t loaded = 0;           // bytes of data taken into the store, stuffing taken out
    std::optional<std::size_t> marker;  // where the marker that stopped the reading stands
    std::size_t next_ff = 0;

    void start(std::size_t from)
    {
        at = from;
        next_ff = find_ff(from);
        store = 0;
        count = 0;
        made_up = 0;
        marker.reset();
    }
    // Up to seven bytes in one load while the eight from `at` hold no 0xFF
    // (`next_ff` is the next one's place, or the file's end), byte by byte
    // otherwise.
    void fill()
    {
        if (count >= 32) return;
        if (at + 8 <= next_ff) {
            std::uint64_t word;
            std::memcpy(&word, file.data() + at, 8);
            word = __builtin_bswap64(word);
            store |= word >> count;
            const auto bytes = std::size_t(63 - count) >> 3;
            at += bytes;
            loaded += bytes;
            count += int(bytes * 8);
            return;
        }
        fill_slowly();
    }
    [[gnu::noinline]] void fill_slowly()
    {
        while (count <= 56) {
            std::uint64_t byte = 0;
            if (!marker && at < file.size() && file[at] != 0xFF) {
                byte = file[at++];
                ++loaded;
            } else if (!marker && at < file.size()) {
                std::size_t next = at + 1;
                while (next < file.size() && file[next] == 0xFF) ++next;
                if (next < file.size() && file[next] == 0x00) {
                    byte = 0xFF;
                    at = next + 1;
                    ++loaded;
                } else {
                    marker = at;
                    ++made_up;
                }
            } else {
                ++made_up;
            }
            store |= byte << (56 - count);
            count += 8;
        }
        next_ff = marker ? 0 : find_ff(at);
    }
    std::size_t find_ff(std::size_t from) const
    {
        if (from >= file.size()) return file.size();
        const void* found = std::memchr(file.data() + from, 0xFF, file.size() - from);
        return found ? std::size_t(static_cast<const std::uint8_t*>(found) - file.data()) : file.size();
    }
    std::uint32_t peek(int bits) const { return std::uint32_t(store >> (64 - bits)); }
    void drop(int bits)
    {
        store <<= bits;
        count -= bits;
    }
    // The bits used so far, counted in the data without its stuffing.
    std::uint64_t position() const
    {
        const std::size_t made_up_bits = std::min(made_up * 8, std::size_t(count));
        return loaded * 8 - (std::uint64_t(count) - made_up_bits);
    }
    // Whether the bits used so far were all in the data, none made up.
    bool within_data() const { return made_up * 8 <= std::size_t(count); }
    // After an interval's data: the restart marker `number` (0 to 7) next,
    // and the reading set after it. False when another byte or marker stands
    // there.
    bool restart(int number)
    {
        if (!within_data()) return false;
        std::size_t place = marker ? *marker : at;
        if (place >= file.size() || file[place] != 0xFF) return false;
        while (place < file.size() && file[place] == 0xFF) ++place;
        if (place >= file.size() || file[place] != 0xD0 + number) return false;
        start(place + 1);
        return true;
    }
};

// One symbol of a table; -1 for a bad code. Needs 16 bits in the store.
inline int decode(const Huffman& table, BitReader& bits)
{
    const std::uint16_t fast = table.fast[bits.peek(kFastBits)];
    if (fast != 0) {
        bits.drop(fast >> 8);
        return fast & 0xFF;
    }
    const auto [length, symbol] = find_code(table, bits.peek(32), 16);
    if (length == 0) return -1;
    bits.drop(length);
    return symbol;
}

struct Component {
    int id = 0, across = 1, down = 1, quant = 0;
    int dc_table = 0, ac_table = 0;
    int blocks_across = 0, blocks_down = 0;
    std::vector<std::uint8_t> plane;  // a pixel per block: its mean
};

struct Stream {
    int width = 0, height = 0;
    std::vector<Component> components;
    std::array<std::int32_t, 4> dc_quant{};
    std::array<bool, 4> quant_present{};
    std::array<Huffman, 4> dc, ac;
    unsigned restart_interval = 0;
    bool jfif = false, adobe = false;
    int adobe_transform = -1;
    std::map<int, std::vector<std::uint8_t>> icc_parts;
    int icc_count = 0;
    bool icc_broken = false;
    std::vector<int> scan_order;  // components' indexes in the scan
};

unsigned be16(const std::uint8_t* bytes)
{
    return unsigned(bytes[0]) << 8 | bytes[1];
}

bool read_frame(Stream& stream, std::span<const std::uint8_t> segment)
{
    if (segment.size() < 6 || segment[0] != 8 || !stream.components.empty()) return false;
    stream.height = int(be16(&segment[1]));
    stream.width = int(be16(&segment[3]));
    const std::size_t count = segment[5];
    if (stream.width == 0 || stream.height == 0 || (count != 1 && count != 3) || segment.size() < 6 + 3 * count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = &segment[6 + 3 * i];
        Component component;
        component.id = entry[0];
        component.across = entry[1] >> 4;
        component.down = entry[1] & 15;
        component.quant = entry[2];
        if (component.across < 1 || component.across > 4 || component.down < 1 || component.down > 4 ||
            component.quant > 3)
            return false;
        stream.components.push_back(component);
    }
    return true;
}

bool read_tables(Stream& stream, std::span<const std::uint8_t> segment)
{
    std::size_t at = 0;
    while (at < segment.size()) {
        if (segment.size() - at < 17) return false;
        const int kind = segment[at] >> 4, slot = segment[at] & 15;
        if (kind > 1 || slot > 3) return false;
        const std::span<const std::uint8_t, 16> counts(&segment[at + 1], 16);
        std::size_t total = 0;
        for (const std::uint8_t count : counts) total += count;
        if (total > 256 || segment.size() - at - 17 < total) return false;
        Huffman& table = kind == 0 ? stream.dc[std::size_t(slot)] : stream.ac[std::size_t(slot)];
        if (!build_huffman(table, counts, segment.subspan(at + 17, total), kind == 1)) return false;
        at += 17 + total;
    }
    return true;
}

bool read_quant(Stream& stream, std::span<const std::uint8_t> segment)
{
    std::size_t at = 0;
    while (at < segment.size()) {
        const int precision = segment[at] >> 4, slot = segment[at] & 15;
        const std::size_t length = precision == 0 ? 64 : 128;
        if (precision > 1 || slot > 3 || segment.size() - at - 1 < length) return false;
        stream.dc_quant[std::size_t(slot)] =
            precision == 0 ? std::int32_t(segment[at + 1]) : std::int32_t(be16(&segment[at + 1]));
        stream.quant_present[std::size_t(slot)] = true;
        at += 1 + length;
    }
    return true;
}

void read_icc_part(Stream& stream, std::span<const std::uint8_t> segment)
{
    static constexpr char kName[] = "ICC_PROFILE";
    if (segment.size() < 14 || std::memcmp(segment.data(), kName, sizeof kName) != 0) return;
    const int number = segment[12], count = segment[13];
    if (number == 0 || number > count || (stream.icc_count && stream.icc_count != count) ||
        stream.icc_parts.count(number))
        stream.icc_broken = true;
    stream.icc_count = count;
    stream.icc_parts[number].assign(segment.begin() + 14, segment.end());
}

bool read_scan_head(Stream& stream, std::span<const std::uint8_t> segment)
{
    if (stream.components.empty() || segment.empty()) return false;
    const std::size_t count = segment[0];
    if (count != stream.components.size() || segment.size() < 4 + 2 * count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const int id = segment[1 + 2 * i], tables = segment[2 + 2 * i];
        const auto found = std::find_if(stream.components.begin(), stream.components.end(),
                                        [id](const Component& component) { return component.id == id; });
        if (found == stream.components.end()) return false;
        const int index = int(found - stream.components.begin());
        if (std::find(stream.scan_order.begin(), stream.scan_order.end(), index) != stream.scan_order.end())
            return false;
        found->dc_table = tables >> 4;
        found->ac_table = tables & 15;
        if (found->dc_table > 3 || found->ac_table > 3 || !stream.dc[std::size_t(found->dc_table)].present ||
            !stream.ac[std::size_t(found->ac_table)].present || !stream.quant_present[std::size_t(found->quant)])
            return false;
        stream.scan_order.push_back(index);
    }
    const std::uint8_t* tail = &segment[1 + 2 * count];
    return tail[0] == 0 && tail[1] == 63 && tail[2] == 0;
}

bool sampling_supported(const Stream& stream, int most_across, int most_down)
{
    return std::all_of(stream.components.begin(), stream.components.end(), [&](const Component& component) {
        return most_across % component.across == 0 && most_down % component.down == 0;
    });
}

// Where each block of an MCU goes: its component and place in the MCU.
struct Layout {
    int mcus_across = 0, mcus_down = 0;
    std::vector<int> component, dx, dy;  // per block of an MCU, in scan order
    std::size_t blocks = 0;              // in the whole scan
};

Layout layout_of(Stream& stream)
{
    Layout layout;
    int most_across = 1, most_down = 1;
    for (const Component& component : stream.components) {
        most_across = std::max(most_across, component.across);
        most_down = std::max(most_down, component.down);
    }
    const bool single = stream.components.size() == 1;
    layout.mcus_across = single ? (stream.width + 7) / 8 : (stream.width + 8 * most_across - 1) / (8 * most_across);
    layout.mcus_down = single ? (stream.height + 7) / 8 : (stream.height + 8 * most_down - 1) / (8 * most_down);
    for (const int index : stream.scan_order) {
        Component& component = stream.components[std::size_t(index)];
        const int across = single ? 1 : component.across, down = single ? 1 : component.down;
        component.blocks_across = layout.mcus_across * across;
        component.blocks_down = layout.mcus_down * down;
        for (int y = 0; y < down; ++y)
            for (int x = 0; x < across; ++x) {
                layout.component.push_back(index);
                layout.dx.push_back(x);
                layout.dy.push_back(y);
            }
    }
    layout.blocks = std::size_t(layout.mcus_across) * std::size_t(layout.mcus_down) * layout.component.size();
    return layout;
}

// Steps through the scan's blocks from some place: each block's DC term
// added into its component's predictor (wrapping, as libjpeg keeps them
// before taking 16-bit coefficients), the AC terms passed over.
struct Walker {
    std::array<const Huffman*, kMostBlocksInMcu> dc{}, ac{};
    std::array<int, kMostBlocksInMcu> component{};
    int per_mcu = 0;
    BitReader bits;
    std::array<std::uint32_t, 3> predictors{};
    int slot = 0;  // the next block's place in its MCU

    Walker(const Stream& stream, const Layout& layout, std::span<const std::uint8_t> file)
    {
        per_mcu = int(layout.component.size());
        for (std::size_t i = 0; i < layout.component.size(); ++i) {
            const Component& part = stream.components[std::size_t(layout.component[i])];
            dc[i] = &stream.dc[std::size_t(part.dc_table)];
            ac[i] = &stream.ac[std::size_t(part.ac_table)];
            component[i] = layout.component[i];
        }
        bits.file = file;
    }

    // The next block; its component's predictor after it. False for a bad code.
    [[gnu::always_inline]] inline bool block(std::uint32_t& predictor)
    {
        const auto at = std::size_t(slot);
        slot = slot + 1 == per_mcu ? 0 : slot + 1;
        bits.fill();
        std::uint32_t& into = predictors[std::size_t(component[at])];
        if (const std::int32_t whole = dc[at]->whole_dc[bits.peek(kDcBits)]; whole != 0) {
            bits.drop(whole & 0xFF);
            into += std::uint32_t(whole >> 8);
        } else {
            const int size = decode(*dc[at], bits);
            if (size < 0 || size > 11) return false;
            if (size != 0) {
                into += std::uint32_t(extended(bits.peek(size), size));
                bits.drop(size);
            }
        }
        predictor = into;
        const Huffman& table = *ac[at];
        for (int k = 1; k < 64;) {
            bits.fill();
            const unsigned step = table.skip[bits.peek(kSkipBits)];
            const int used = int(step & 31), advance = int(step >> 5 & 0xFF), end = int(step >> 13);
            // An end of block must come at coefficient 63 at the latest.
            if (used != 0 && k + advance + end <= 64) {
                bits.drop(used);
                k += advance;
                if (end) break;
                continue;
            }
            const int symbol = decode(table, bits);
            if (symbol < 0) return false;
            const int run = symbol >> 4, extra = symbol & 15;
            if (extra != 0) {
                bits.drop(extra);
                k += run + 1;
            } else if (run == 15) {
                k += 16;
            } else {
                break;
            }
        }
        return true;
    }
};

// A second thread's walk from the middle of the scan, started as if a
// block began there. Its first blocks are noise, but Huffman codes fall into
// step with the true reading within a few blocks; where the first thread's
// walk meets one of the blocks it noted (same bit, same place in the MCU),
// everything after comes out as the first thread would find it, the
// predictors off by a constant that the meeting tells.
struct SecondHalf {
    struct Note {
        std::uint64_t position;
        int slot;
        std::array<std::uint32_t, 3> predictors;
    };
    static constexpr int kNotes = 4096;
    std::vector<Note> notes = std::vector<Note>(kNotes);
    std::atomic<int> noted{0};
    std::atomic<bool> stop{false};
    std::vector<std::uint16_t> predictors;  // after each block, the low 16 bits
    std::size_t good = 0;                   // blocks walked within the data
    std::size_t first_bad = SIZE_MAX;       // the first block with a bad code

    void walk(Walker walker, std::size_t from, std::uint64_t unstuffed_from, std::size_t blocks)
    {
        walker.bits.start(from);
        walker.bits.loaded = unstuffed_from;
        predictors.reserve(blocks);
        for (std::size_t n = 0; n < blocks && !stop.load(std::memory_order_relaxed); ++n) {
            if (n < std::size_t(kNotes)) {
                notes[n] = {walker.bits.position(), walker.slot, walker.predictors};
                noted.store(int(n + 1), std::memory_order_release);
            }
            std::uint32_t predictor = 0;
            if (!walker.block(predictor)) {
                first_bad = std::min(first_bad, n);
                walker.bits.drop(1);
            }
            if (!walker.bits.within_data()) break;
            predictors.push_back(std::uint16_t(predictor & 0xFFFFu));
            good = n + 1;
        }
        noted.store(kNotes, std::memory_order_release);
    }
};

// Where a second thread may start: the middle of the scan's data, moved on
// to a byte that is neither 0xFF nor after one; and the unstuffed bytes
// before it. Nothing when a marker comes first or the data is short.
std::optional<std::pair<std::size_t, std::uint64_t>> middle_of(std::span<const std::uint8_t> file, std::size_t from,
                                                               std::size_t shortest)
{
    if (file.size() - from < std::max<std::size_t>(shortest, 2)) return std::nullopt;
    std::size_t middle = from + (file.size() - from) / 2;
    while (middle < file.size() && (file[middle] == 0xFF || file[middle - 1] == 0xFF)) ++middle;
    if (middle >= file.size()) return std::nullopt;
    std::uint64_t removed = 0;
    for (std::size_t at = from; at < middle;) {
        const void* found = std::memchr(file.data() + at, 0xFF, middle - at);
        if (!found) break;
        const auto mark = std::size_t(static_cast<const std::uint8_t*>(found) - file.data());
        std::size_t next = mark + 1;
        while (next < middle && file[next] == 0xFF) ++next;
        if (file[next] != 0x00) return std::nullopt;
        removed += next - mark;
        at = next + 1;
    }
    return std::pair{middle, std::uint64_t(middle - from) - removed};
}

// Every block's DC term, in scan order, as libjpeg's 16-bit coefficients.
bool decode_scan(Stream& stream, const Layout& layout, std::span<const std::uint8_t> file, std::size_t from,
                 std::size_t shortest_split, std::int16_t* coefficients)
{
    // Every block takes two bits at least, a DC and an end-of-block code.
    if (layout.blocks / 4 > file.size() - from) return false;
    Walker walker(stream, layout, file);
    walker.bits.start(from);

    // Long scans without restarts are walked from both ends at once.
    std::optional<std::pair<std::size_t, std::uint64_t>> middle;
    if (stream.restart_interval == 0 && std::thread::hardware_concurrency() > 1)
        middle = middle_of(file, from, shortest_split);
    SecondHalf second;
    std::thread helper;
    if (middle) {
        try {
            helper = std::thread([&second, walker, middle, &layout] {
                // Out of memory, the walk counts no block good, so no
                // meeting is taken.
                try {
                    second.walk(walker, middle->first, middle->second, layout.blocks);
                } catch (const std::bad_alloc&) {
                    second.good = 0;
                    second.noted.store(SecondHalf::kNotes, std::memory_order_release);
                }
            });
        } catch (const std::system_error&) {
            middle.reset();
        }
    }
    const auto finish = [&](bool result) {
        second.stop.store(true, std::memory_order_relaxed);
        if (helper.joinable()) helper.join();
        return result;
    };
    const std::uint64_t meeting_from = middle ? middle->second * 8 : UINT64_MAX;
    int looked = 0;  // notes passed

    int next_restart = 0;
    unsigned left_in_interval = stream.restart_interval;
    const auto per_mcu = std::size_t(walker.per_mcu);
    for (std::size_t n = 0; n < layout.blocks; n += per_mcu) {
        if (stream.restart_interval != 0) {
            if (left_in_interval == 0) {
                if (!walker.bits.restart(next_restart)) return finish(false);
                next_restart = (next_restart + 1) & 7;
                walker.predictors = {};
                left_in_interval = stream.restart_interval;
            }
            --left_in_interval;
        }
        for (std::size_t i = 0; i < per_mcu; ++i) {
            if (walker.bits.position() >= meeting_from && looked < SecondHalf::kNotes) {
                const std::uint64_t here = walker.bits.position();
                const int noted = second.noted.load(std::memory_order_acquire);
                while (looked < noted && second.notes[std::size_t(looked)].position < here) ++looked;
                const SecondHalf::Note* note = looked < noted ? &second.notes[std::size_t(looked)] : nullptr;
                if (note && note->position == here && note->slot == walker.slot) {
                    // Met: the rest is the second walk's, its predictors
                    // moved onto this one's.
                    const auto met = std::size_t(looked);
                    std::array<std::uint32_t, 3> shift{};
                    for (std::size_t c = 0; c < 3; ++c) shift[c] = walker.predictors[c] - note->predictors[c];
                    helper.join();
                    const std::size_t rest = layout.blocks - (n + i);
                    if (second.first_bad < met + rest || second.good < met + rest) return false;
                    for (std::size_t b = 0; b < rest; ++b) {
                        const std::size_t component = std::size_t(walker.component[(i + b) % per_mcu]);
                        coefficients[n + i + b] =
                            std::int16_t(std::uint16_t((second.predictors[met + b] + shift[component]) & 0xFFFFu));
                    }
                    return true;
                }
            }
            std::uint32_t predictor = 0;
            if (!walker.block(predictor)) return finish(false);
            coefficients[n + i] = std::int16_t(std::uint16_t(predictor & 0xFFFFu));
        }
        if (!walker.bits.within_data()) return finish(false);
    }
    return finish(true);
}

// The components' planes from the coefficients: each block's mean, by
// libjpeg's 1 x 1 inverse transform, rounded, about the middle grey.
void fill_planes(Stream& stream, const Layout& layout, const std::int16_t* coefficients)
{
    for (Component& component : stream.components)
        component.plane.resize(std::size_t(component.blocks_across) * std::size_t(component.blocks_down));
    // Per block of an MCU: where it goes in its plane from the MCU's corner,
    // how far that corner moves per MCU across and down, and its table.
    struct Slot {
        std::uint8_t* plane;
        std::size_t offset, across, down;
        std::int64_t quant;
    };
    std::vector<Slot> slots;
    for (std::size_t i = 0; i < layout.component.size(); ++i) {
        Component& component = stream.components[std::size_t(layout.component[i])];
        const auto stride = std::size_t(component.blocks_across);
        const auto across = std::size_t(component.blocks_across / layout.mcus_across);
        const auto down = std::size_t(component.blocks_down / layout.mcus_down);
        slots.push_back({component.plane.data(), std::size_t(layout.dy[i]) * stride + std::size_t(layout.dx[i]), across,
                         down * stride, stream.dc_quant[std::size_t(component.quant)]});
    }
    const std::int16_t* coefficient = coefficients;
    for (std::size_t mcu_y = 0; mcu_y < std::size_t(layout.mcus_down); ++mcu_y)
        for (std::size_t mcu_x = 0; mcu_x < std::size_t(layout.mcus_across); ++mcu_x)
            for (const Slot& slot : slots) {
                const std::int64_t mean = ((std::int64_t(*coefficient++) * slot.quant + 4) >> 3) + 128;
                slot.plane[slot.offset + mcu_y * slot.down + mcu_x * slot.across] =
                    std::uint8_t(std::clamp<std::int64_t>(mean, 0, 255));
            }
}

// YCbCr to RGB as libjpeg does it, in 16-bit fixed point.
void to_rgb(const Stream& stream, EighthPicture& picture, int most_across, int most_down)
{
    constexpr int kScale = 16;
    constexpr std::int32_t kHalf = 1 << (kScale - 1);
    const auto fixed = [](double value) { return std::int32_t(value * (1 << kScale) + 0.5); };
    std::array<std::int32_t, 256> red_cr{}, blue_cb{}, green_cr{}, green_cb{};
    for (int i = 0; i < 256; ++i) {
        const int x = i - 128;
        red_cr[std::size_t(i)] = (fixed(1.40200) * x + kHalf) >> kScale;
        blue_cb[std::size_t(i)] = (fixed(1.77200) * x + kHalf) >> kScale;
        green_cr[std::size_t(i)] = -fixed(0.71414) * x;
        green_cb[std::size_t(i)] = -fixed(0.34414) * x + kHalf;
    }
    const Component& luma = stream.components[0];
    const Component& blue = stream.components[1];
    const Component& red = stream.components[2];
    const auto sample_row = [&](const Component& component, int y) {
        return component.plane.data() +
               std::size_t(y * component.down / most_down) * std::size_t(component.blocks_across);
    };
    std::vector<int> luma_x(std::size_t(picture.width)), blue_x(luma_x.size()), red_x(luma_x.size());
    for (int x = 0; x < picture.width; ++x) {
        luma_x[std::size_t(x)] = x * luma.across / most_across;
        blue_x[std::size_t(x)] = x * blue.across / most_across;
        red_x[std::size_t(x)] = x * red.across / most_across;
    }
    std::uint8_t* out = picture.pixels.get();
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t *y_row = sample_row(luma, y), *cb_row = sample_row(blue, y), *cr_row = sample_row(red, y);
        for (std::size_t x = 0; x < luma_x.size(); ++x, out += 3) {
            const int level = y_row[luma_x[x]];
            const std::size_t cb = cb_row[blue_x[x]], cr = cr_row[red_x[x]];
            out[0] = std::uint8_t(std::clamp(level + red_cr[cr], 0, 255));
            out[1] = std::uint8_t(std::clamp(level + ((green_cb[cb] + green_cr[cr]) >> kScale), 0, 255));
            out[2] = std::uint8_t(std::clamp(level + blue_cb[cb], 0, 255));
        }
    }
}

// Whether libjpeg would take three components for YCbCr.
bool stored_as_ycc(const Stream& stream)
{
    if (stream.jfif) return true;
    if (stream.adobe) return stream.adobe_transform != 0;
    const auto& parts = stream.components;
    return !(parts[0].id == 'R' && parts[1].id == 'G' && parts[2].id == 'B');
}

}  // namespace

std::optional<EighthPicture> read_jpeg_eighth(std::span<const std::uint8_t> file, std::size_t shortest_split)
{
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return std::nullopt;
    Stream stream;
    std::size_t at = 2;
    for (;;) {
        if (at >= file.size() || file[at] != 0xFF) return std::nullopt;
        while (at < file.size() && file[at] == 0xFF) ++at;
        if (at >= file.size()) return std::nullopt;
        const std::uint8_t marker = file[at++];
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9 || file.size() - at < 2) return std::nullopt;
        const std::size_t length = be16(&file[at]);
        if (length < 2 || file.size() - at < length) return std::nullopt;
        const std::span<const std::uint8_t> segment = file.subspan(at + 2, length - 2);
        at += length;
        bool good = true;
        if (marker == 0xC0 || marker == 0xC1) good = read_frame(stream, segment);
        else if (marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) good = false;
        else if (marker == 0xC4) good = read_tables(stream, segment);
        else if (marker == 0xDB) good = read_quant(stream, segment);
        else if (marker == 0xDD) {
            good = segment.size() >= 2;
            if (good) stream.restart_interval = be16(&segment[0]);
        } else if (marker == 0xE0 && segment.size() >= 5 && std::memcmp(segment.data(), "JFIF", 5) == 0)
            stream.jfif = true;
        else if (marker == 0xE2) read_icc_part(stream, segment);
        else if (marker == 0xEE && segment.size() >= 12 && std::memcmp(segment.data(), "Adobe", 5) == 0) {
            stream.adobe = true;
            stream.adobe_transform = segment[11];
        } else if (marker == 0xDA) {
            if (!read_scan_head(stream, segment)) return std::nullopt;
            break;
        }
        if (!good) return std::nullopt;
    }
    if (stream.components.size() == 3 && !stored_as_ycc(stream)) return std::nullopt;

    int most_across = 1, most_down = 1;
    for (const Component& component : stream.components) {
        most_across = std::max(most_across, component.across);
        most_down = std::max(most_down, component.down);
    }
    if (!sampling_supported(stream, most_across, most_down)) return std::nullopt;
    const Layout layout = layout_of(stream);
    // As libjpeg has it, an MCU holds ten blocks at most.
    if (layout.component.size() > kMostBlocksInMcu) return std::nullopt;
    // Every term is written before it is read: the block is left uncleared.
    const std::unique_ptr<std::int16_t[]> coefficients(new (std::nothrow) std::int16_t[layout.blocks]);
    if (!coefficients || !decode_scan(stream, layout, file, at, shortest_split, coefficients.get()))
        return std::nullopt;
    fill_planes(stream, layout, coefficients.get());

    EighthPicture picture;
    picture.width = (stream.width + 7) / 8;
    picture.height = (stream.height + 7) / 8;
    picture.grey = stream.components.size() == 1;
    picture.pixels = allocate_image(picture.width, picture.height, picture.grey ? 8 : 24);
    if (!picture.pixels) return std::nullopt;
    if (picture.grey) {
        const Component& grey = stream.components[0];
        for (int y = 0; y < picture.height; ++y) {
            const std::uint8_t* row = grey.plane.data() + std::size_t(y) * std::size_t(grey.blocks_across);
            std::copy_n(row, picture.width, picture.pixels.get() + std::size_t(y) * std::size_t(picture.width));
        }
    } else {
        to_rgb(stream, picture, most_across, most_down);
    }
    if (!stream.icc_broken && stream.icc_count > 0 && int(stream.icc_parts.size()) == stream.icc_count)
        for (const auto& [number, part] : stream.icc_parts)
            picture.icc.insert(picture.icc.end(), part.begin(), part.end());
    return picture;
}

}  // namespace zarn
