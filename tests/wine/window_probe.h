// Facts about the launcher's windows, reported as "key=value" lines.
#pragma once

#include <windows.h>

// Style, title, size, place, label and bar of the progress window.
void ReportProgressWindow(HWND window);

// Caption, text, buttons, icon and owner of a message box.
void ReportMessageBox(HWND box, HWND progressWindow);

// Presses the message box's OK button; true when the box went away.
bool PressOk(HWND box);
