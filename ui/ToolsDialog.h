// What the two dialogs of the Tools menu (Zazi Dururuv, Restore Removed Programs) share: their
// controls at design positions in twips, the program's icon, centring over the owner, and
// the texts of their controls.
#pragma once
#include <windows.h>

#include <string>

namespace velmora::ui::tools_dialog {

struct TwipsRect {
    int id;  // the control's number; 0 for none
    int left, top, width, height;
};

// 15 twips to a pixel, at 96 dots per inch.
int TwipsToPixels(int twips);

// Sizes the dialog's inner area and moves every listed control to its place.
void Place(HWND dialog, int clientWidthTwips, int clientHeightTwips, const TwipsRect* controls, int count);
// A label that sizes itself to its one line of text, from its top-left corner.
void FitLabelToText(HWND label);
// The program's icon (its first icon group) in the picture control, when the program has one.
void ShowProgramIcon(HWND picture);
// Centred over the owner's window, or over the screen without one.
void CenterOver(HWND dialog, HWND owner);

std::wstring WindowText(HWND window);
// The description of the error being handled (call inside a catch block).
std::wstring CurrentErrorDescription();
// The Shift state of a key release as the Basic runtime gives it: 1 Shift, 2 Ctrl, 4 Alt.
int ShiftState();

}  // namespace velmora::ui::tools_dialog
