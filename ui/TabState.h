// What the main window logs of its two lists at start-up: each Browser Helper Object row's
// class identifier, name and file, and each settings row's status key, name and value.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace velmora::ui {

struct BhoRowState {
    std::wstring id, name, dll;
};

struct SettingRowState {
    std::wstring statusKey, name, value;
};

// The rows in list order, read from the list views themselves.
std::vector<BhoRowState> ReadBhoRows(HWND listView);
std::vector<SettingRowState> ReadSettingRows(HWND listView);

}  // namespace velmora::ui
