// Rules the image library and the Qt controls both follow, kept in one place and free of Qt:
// the private temporary folder, the pixel-block ceiling and modules loaded from the code's own folder.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace zarn {

// The per-user folder (mode 0700) in the system temporary directory that
// holds every temporary and hand-off file; created on first use. Empty when
// it cannot be made safe.
std::string private_temp_dir();

// The largest pixel block the library allocates: 1 GiB unless the environment
// variable ZARN_MAX_IMAGE_BYTES says otherwise.
std::size_t max_image_bytes();

// Threads one decode or encode may use: ZARN_THREADS when it is set (1 to
// 64), else the machine's cores, at most 8.
int codec_threads();

// The folder of the program or library this code is linked into, also for a
// program started by a bare name; empty when it cannot be told.
std::string own_folder();

// A loaded module, unloaded when the object goes.
class Module {
public:
    Module() = default;
    explicit Module(void* handle) : handle_(handle) {}
    ~Module() { reset(); }
    Module(Module&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Module& operator=(Module&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    void* get() const { return handle_; }
    // Hands the module over to a holder that frees it itself.
    void* release() { return std::exchange(handle_, nullptr); }
    // Unloads the module; false only when the system refused.
    bool reset();

    // The named export, or null when nothing is loaded or the module lacks it.
    void* find(const char* symbol) const;
    template <typename Function>
    Function find_as(const char* symbol) const
    {
        return reinterpret_cast<Function>(find(symbol));
    }

private:
    void* handle_ = nullptr;
};

// The module file `file_name` ("libzarngfx.so") from own_folder() first,
// then through the system's search order (never the current directory).
Module open_module_file(const std::string& file_name);

}  // namespace zarn
