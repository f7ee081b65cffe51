// The three status icons of the settings list (and of any list that shows a status): an image
// list keyed "i", "OK" and "IE", in that order.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>

#include "ui/UiHandles.h"

namespace velmora::ui {

// A new 16 x 16 image list of the status icons from the program's resources; raises when an
// icon cannot be loaded. A list view that shows it needs LVS_SHAREIMAGELISTS: the caller owns it.
UniqueImageList BuildStatusImageList();

// The image of a status key, -1 for none; and the key of an image, "" for none.
int StatusImageIndex(std::wstring_view key);
std::wstring StatusKeyOfImage(int image);

// The status key of a list view row: the key of its small icon ("" when it has none).
std::wstring RowIconKey(HWND listView, int row);

}  // namespace velmora::ui
