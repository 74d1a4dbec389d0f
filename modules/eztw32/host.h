// The Qt host as the scanner module sees it: its services when the process runs a Qt widget application, else none.
#pragma once

#include "qt_host.h"
#include "shared_rules.h"

namespace eztw32 {

// Loads the Qt helper module for one routine, but only into a process that
// already has Qt Widgets loaded: elsewhere Qt would be loaded and unloaded
// with every call (Qt leaks a thread key each time), for nothing, as only a
// running widget application can show a dialog or own the clipboard.
// Without the helper there is no dialog, no clipboard and no stored source.
class Host {
public:
    Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    bool has_widgets() const { return table_ && table_->has_widgets(); }
    std::optional<std::size_t> ask_for_source(void* window, const std::vector<std::string>& labels,
                                              std::size_t current) const
    {
        return table_ ? table_->ask_for_source(window, labels, current) : std::nullopt;
    }
    bool put_on_clipboard(const PicImage& pic) const { return table_ && table_->put_on_clipboard(pic); }
    std::string stored_source() const { return table_ ? table_->stored_source() : std::string(); }
    void store_source(const std::string& name) const
    {
        if (table_) table_->store_source(name);
    }

    // The host's wait cursor for as long as this lives.
    class WaitCursor {
    public:
        explicit WaitCursor(const Host& host) : table_(host.table_)
        {
            if (table_) table_->show_wait_cursor(true);
        }
        ~WaitCursor()
        {
            if (table_) table_->show_wait_cursor(false);
        }
        WaitCursor(const WaitCursor&) = delete;
        WaitCursor& operator=(const WaitCursor&) = delete;

    private:
        const QtHostTable* table_;
    };

private:
    zarn::Module module_;  // unloaded when the host goes
    const QtHostTable* table_ = nullptr;
};

}  // namespace eztw32
