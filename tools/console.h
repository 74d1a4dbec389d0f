// Standard error for zarnconv: messages, notes and the progress bar, safe from several threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace zarnconv {

class Console {
public:
    // The bar is drawn only when `show_bar`; notes are dropped when `quiet`.
    Console(bool show_bar, bool quiet) : show_bar_(show_bar), quiet_(quiet) {}
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void error(const std::string& text);
    void note(const std::string& text);
    // `done` of `total` work units, `files_done` of `files` files.
    void progress(std::int64_t done, std::int64_t total, std::size_t files_done, std::size_t files);
    // Removes the bar for good, once the work is over.
    void finish();

private:
    void print_line(const std::string& text);  // caller holds mutex_

    std::mutex mutex_;
    const bool show_bar_;
    const bool quiet_;
    std::string bar_;  // what is on the terminal's last line, empty when nothing
};

// True when standard error is a terminal, where a bar that redraws its line makes sense.
bool stderr_is_terminal();

}  // namespace zarnconv
