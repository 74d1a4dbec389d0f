// The one way the library writes a file: to a temporary beside it, renamed over it on success.
#pragma once

#include "record.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zarn {

// Parks a stream to a temporary file beside `path` in pic->out_file. Only
// commit() puts the result in place, after a clean flush and close; on any
// failure, or without commit(), the old file at `path` stays as it was and
// the temporary is removed. A destination that exists but is no regular
// file (a device, a pipe) is written directly.
class OutputFile {
public:
    OutputFile(const char* path, PicImage* pic);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    explicit operator bool() const { return stream_ != nullptr; }
    std::FILE* get() const { return stream_; }

    // Each write remembers a failure; commit() then refuses.
    bool write(std::span<const std::uint8_t> bytes);
    bool u8(std::uint8_t value) { return write({&value, 1}); }
    bool u16le(std::uint16_t value);
    bool u32le(std::uint32_t value);
    bool u16be(std::uint16_t value);
    bool u32be(std::uint32_t value);
    bool ok() const { return stream_ != nullptr && !failed_; }
    void fail() { failed_ = true; }

    bool commit();

private:
    void discard();

    PicImage* pic_;
    std::FILE* stream_ = nullptr;
    std::unique_ptr<char[]> buffer_;  // the stream's buffer; freed after the stream is closed
    std::string destination_;
    std::string temporary_;  // empty when writing the destination directly
    unsigned mode_ = 0644;
    bool failed_ = false;
};

// Reserves a temporary file beside `path` for code that writes by name (an
// outside module): it writes to name(), and commit() renames the result over
// `path` with the destination's permissions. Without commit() the temporary
// is removed and `path` stays as it was. A destination that exists but is no
// regular file is named directly.
class TemporaryPath {
public:
    explicit TemporaryPath(const char* path);
    ~TemporaryPath();
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;

    explicit operator bool() const { return !name_.empty(); }
    const char* name() const { return name_.c_str(); }
    bool commit();

private:
    std::string destination_;
    std::string name_;
    bool direct_ = false;
    unsigned mode_ = 0644;
};

}  // namespace zarn
