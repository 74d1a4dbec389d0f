// The window behind each export. Each runs the export sequence for its window
// inside the export's Qt session (dialog_session.h): create, show modally,
// read the result, destroy.
#pragma once

namespace gfx24 {

void SlideShowImages(const char* folder, int delay, int force256, int loop, int valid_only,
                     int beep);                  // slide.cpp
void ShowImage(const char* path, int force256);  // showit.cpp
void PicBrowse(char* path);                      // browse.cpp: `path` holds at least 256 bytes
void PrintPreview(const char* path);             // printd.cpp
int SizeImage(const char* path);                 // resize.cpp: 1 when "Ok" rewrote the file
int AdjustImage(const char* path);               // process.cpp: 1 when "Ok" rewrote the file
void CopyImage(const char* path);                // icopy.cpp

}  // namespace gfx24
