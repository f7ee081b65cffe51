// The text rules of Zazi Dururuv's file box, free of any window: reading the typed list into
// lines, the Paste of a clipboard text (a plain name or the encoded name that the log writes
// for a file whose rename failed), the text of the found suspicious files, and the keys.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace velmora::ui::safe_remover {

// True when the box holds nothing but blanks: there is no name to disable.
bool HoldsNoNames(std::wstring_view boxText);

// The box's lines: CR LF, LF and CR each end a line and empty lines vanish, except that a
// leading or trailing line end leaves one empty piece (which the caller skips). A line of
// blanks stays a line.
std::vector<std::wstring> SplitLines(std::wstring_view boxText);

// The line a clipboard text adds: a text without "\" is first read as an encoded name (the
// UTF-16LE bytes of a full path); when that does not give a path the text itself is the line.
std::wstring LineFromClipboard(std::wstring_view clipboard);

struct PasteResult {
    bool clipboardEmpty = false;  // nothing to paste: the box is unchanged
    std::wstring boxText;
};
// The box after pasting the clipboard text: every copy of the text already in the box is
// taken out (also the one the box's own paste put at the caret), the box is trimmed of
// blanks at both ends and the line goes at the end, on a line of its own.
PasteResult Paste(std::wstring_view boxText, std::wstring_view clipboard);

// Each name followed by CR LF, in the order given.
std::wstring NamesText(const std::vector<std::wstring>& names);

// Key releases (virtual-key code, Shift bits 1 Shift, 2 Ctrl, 4 Alt).
bool IsPasteKey(int keyCode, int shift);     // Ctrl+V alone, or Shift+Insert alone
bool IsFindButtonKey(int keyCode);           // F6, whatever is held

}  // namespace velmora::ui::safe_remover
