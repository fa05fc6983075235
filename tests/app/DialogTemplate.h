// Reads an extended dialog template (DLGEX) from the program's resources.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DialogItem {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    RECT rect = {};  // x, y, cx, cy in dialog units, stored as left, top, right, bottom
    DWORD id = 0;
    std::string className;  // a predefined class by its name
    std::string text;       // in the ANSI code page
};

struct DialogTemplate {
    bool valid = false;
    DWORD exStyle = 0;
    DWORD style = 0;
    RECT rect = {};
    std::string title;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::string font;
    std::vector<DialogItem> items;
};

DialogTemplate ReadDialogTemplate(LANGID language, int id);
