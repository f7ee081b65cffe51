// System helpers every part of the program uses.
#pragma once
#include <windows.h>

#include <string>

#include "tessel/KeyedList.h"

namespace velmora {

bool IsNT();
bool IsNT4();
// The moment Windows was started, as a local date.
double GetBootTime();
std::wstring GetHostsFilePath();
std::wstring EightBytesToString(double date);
double StringToEightBytes(const std::wstring& text);  // raises on fewer than eight bytes
void SortKeyedList(tessel::KeyedList<std::wstring>& list);
// Shows a message box titled `title` (the product name when empty) and returns the button
// pressed; 0 when the system could not make the box, so that nobody was asked (some systems
// answer such a box with -1, none with a button).
int MsgBoxEx(const std::wstring& prompt, long style, const std::wstring& title = L"",
             const std::wstring& helpFile = L"", long context = 0);
bool ShowFileProperties(const std::wstring& path, HWND owner);

}  // namespace velmora
