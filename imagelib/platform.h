// What the library asks of the platform: modules by name, one message box, a private temporary folder.
#pragma once

#include <string>

namespace zarn {

// Loads lib<name>.so from the library's own folder, else through the
// platform's search order (never the current directory). Null when missing.
void* load_module(const char* name);
void free_module(void* module);
void* find_export(void* module, const char* symbol);

// Hands the text to the host's registered handler, or to standard error.
void show_message(const char* text, const char* caption);

// The per-user folder (mode 0700) in the system temporary directory that
// holds every temporary and hand-off file; created on first use. Empty when
// it cannot be made safe.
std::string private_temp_dir();

// The folder holding the file this code was loaded from.
std::string library_dir();

}  // namespace zarn
