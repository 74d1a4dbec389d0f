// What the library asks of the platform: modules by name and one message box.
#pragma once

#include "shared_rules.h"

namespace zarn {

// lib<name>.so from the library's own folder, else through the platform's
// search order (never the current directory); holds nothing when missing.
Module open_module(const char* name);

// The same for holders that keep the raw handle, such as the record, which
// frees it with free_module. Null when missing.
void* load_module(const char* name);
void free_module(void* module);
void* find_export(void* module, const char* symbol);

// Hands the text to the host's registered handler, or to standard error.
void show_message(const char* text, const char* caption);

}  // namespace zarn
