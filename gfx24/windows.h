// The window behind each export. Each runs the export sequence for its window
// inside the export's Qt session (dialog_session.h): create, show modally,
// read the result, destroy.
#pragma once

namespace gfx24 {

int SizeImage(const char* path);    // resize.cpp: 1 when "Ok" rewrote the file
int AdjustImage(const char* path);  // process.cpp: 1 when "Ok" rewrote the file
void CopyImage(const char* path);   // icopy.cpp

}  // namespace gfx24
