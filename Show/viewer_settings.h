// The values the viewer keeps between runs.
#pragma once

#include <QString>

#include <array>

// What the viewer keeps between runs, held by the main window while it runs.
// Each field carries the name of its value in the store.
struct ViewerSettings {
    QString StartDir, SaveDir;
    std::array<QString, 16> Editors;  // by format number; 0 = last "with..." program
    int WindowLeft = 200, WindowTop = 100;
    int PhotoCDSize = 3, JpegQuality = 80, JpegScale = 0;
    bool SingleClick = false, Centre = true, AllowCrop = true;
    int CropStep = 2;
    bool Display = false, ToolBar = true, ToolBar1 = true;
    int ToolAlign = 4;
    bool Progress = true, Overwrite = true, StdButton = false;
    int Slideshow = 10;
    bool Loop = false, SlideBeep = true, SlideValid = true;
    int Scale = 1;
    int PrefsLeft = 200, PrefsTop = 100;
    bool OnlyOne = true;
    bool AskSave = true;  // ask before a changed picture is dropped
    int Save = 1;
};
