#include "ui/SafeRemoverText.h"

#include <cstdint>

#include "tessel/Text.h"

namespace velmora::ui::safe_remover {

namespace {

constexpr int kShiftBit = 1, kCtrlBit = 2;
constexpr int kKeyV = 86, kKeyInsert = 45, kKeyF6 = 117;

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }

// Every copy of `piece` taken out of `text`, left to right, copies not overlapping.
std::wstring EraseAll(std::wstring_view text, std::wstring_view piece) {
    std::wstring out;
    out.reserve(text.size());
    std::size_t at = 0;
    for (std::size_t found = text.find(piece); found != std::wstring_view::npos; found = text.find(piece, at)) {
        out.append(text.substr(at, found - at));
        at = found + piece.size();
    }
    out.append(text.substr(at));
    return out;
}

}  // namespace

bool HoldsNoNames(std::wstring_view boxText) { return tessel::text::TrimBlanks(boxText).empty(); }

std::vector<std::wstring> SplitLines(std::wstring_view boxText) {
    std::vector<std::wstring> lines;
    if (boxText.empty()) return lines;
    std::size_t i = 0;
    std::wstring current;
    while (i < boxText.size()) {
        if (IsLineEnd(boxText[i])) {
            // A run of line ends is one break.
            while (i < boxText.size() && IsLineEnd(boxText[i])) ++i;
            lines.push_back(std::move(current));
            current.clear();
            continue;
        }
        current += boxText[i++];
    }
    // A text that ends in a line end leaves one empty piece after it, as it does before a
    // leading one.
    lines.push_back(std::move(current));
    return lines;
}

std::wstring LineFromClipboard(std::wstring_view clipboard) {
    if (clipboard.find(L'\\') != std::wstring_view::npos) return std::wstring(clipboard);
    const std::vector<std::uint8_t> bytes = tessel::text::DecodeBytes(clipboard);
    std::wstring decoded;
    decoded.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        decoded += static_cast<wchar_t>(bytes[i] | (static_cast<unsigned>(bytes[i + 1]) << 8));
    if (decoded.find(L'\\') != std::wstring::npos) return decoded;
    return std::wstring(clipboard);
}

PasteResult Paste(std::wstring_view boxText, std::wstring_view clipboard) {
    PasteResult result;
    // An empty text would be found everywhere and never taken out: it pastes nothing.
    if (clipboard.empty()) {
        result.clipboardEmpty = true;
        result.boxText = std::wstring(boxText);
        return result;
    }
    const std::wstring line = LineFromClipboard(clipboard);
    std::wstring text = tessel::text::TrimBlanks(EraseAll(boxText, clipboard));
    if (text.empty()) {
        text = line;
    } else {
        if (text.size() < 2 || text.compare(text.size() - 2, 2, L"\r\n") != 0) text += L"\r\n";
        text += line;
    }
    result.boxText = std::move(text);
    return result;
}

std::wstring NamesText(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) {
        text += name;
        text += L"\r\n";
    }
    return text;
}

bool IsPasteKey(int keyCode, int shift) {
    return (keyCode == kKeyV && shift == kCtrlBit) || (keyCode == kKeyInsert && shift == kShiftBit);
}

bool IsFindButtonKey(int keyCode) { return keyCode == kKeyF6; }

}  // namespace velmora::ui::safe_remover
