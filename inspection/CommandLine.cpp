#include "inspection/CommandLine.h"

#include "tessel/Text.h"

namespace velmora {

namespace {

using tessel::text::AsciiLower;
using tessel::text::TrimBlanks;

constexpr auto npos = std::wstring::npos;

// The first n characters, or the whole text when it is shorter.
std::wstring_view Left(std::wstring_view s, std::size_t n) { return s.substr(0, n); }

bool IsRundll32Form(std::wstring_view cl) {
    // Only these three prefixes count, tested before any trimming: rundll32 named by a
    // path of its own is an ordinary program.
    return AsciiLower(Left(cl, 8)) == L"rundll32" || AsciiLower(Left(cl, 14)) == L"\"rundll32.exe\"" ||
           AsciiLower(Left(cl, 30)) == L"%systemroot%\\system32\\rundll32";
}

// rundll32 loads the DLL named between the first blank and the first comma.
std::wstring Rundll32Target(const std::wstring& cl) {
    const std::size_t blank = cl.find(L' ');
    if (blank == npos) return L"rundll32.exe";
    const std::size_t comma = cl.find(L',');
    std::wstring dll;
    if (comma == npos || comma < blank)
        dll = TrimBlanks(std::wstring_view(cl).substr(blank));
    else
        dll = TrimBlanks(std::wstring_view(cl).substr(blank + 1, comma - blank - 1));
    if (dll.find(L'.') == npos) dll += L".dll";
    return dll;
}

// Removes every occurrence of what, left to right, from the text after its first two
// characters (a drive such as C: stays as it is).
void RemoveAfterTwo(std::wstring& s, std::wstring_view what) {
    if (s.size() <= 2) return;
    std::wstring tail = s.substr(2), out;
    std::size_t from = 0;
    for (std::size_t at; (at = tail.find(what, from)) != npos; from = at + what.size())
        out.append(tail, from, at - from);
    out.append(tail, from, npos);
    s.resize(2);
    s += out;
}

}  // namespace

std::wstring FileNameFromCommandLine(std::wstring cl) {
    if (IsRundll32Form(cl)) return Rundll32Target(cl);

    std::wstring r;
    if (const std::size_t slash = cl.find(L'/'); slash != npos) cl = TrimBlanks(std::wstring_view(cl).substr(0, slash));
    if (cl.find(L' ') == npos) {
        r = cl;
    } else if (cl.front() == L'"') {
        const std::size_t close = cl.find(L'"', 1);
        if (close != npos)
            r = cl.substr(1, close - 1);
        else
            r = cl.substr(1, cl.find(L' ') - 1);  // no closing mark: up to the first blank
    } else {
        RemoveAfterTwo(cl, L"\"%1\"");
        RemoveAfterTwo(cl, L"%1");
        // The program ends at the first blank after its last folder; without a folder,
        // at the last blank.
        const std::size_t backslash = cl.rfind(L'\\');
        const std::size_t cut = backslash != npos ? cl.find(L' ', backslash) : cl.rfind(L' ');
        r = cut != npos ? cl.substr(0, cut) : cl;
    }
    r = TrimBlanks(r);
    if (!r.empty() && r.front() == L'"' && r.back() == L'"') {
        // A lone quotation mark is no file name at all.
        r = r.size() >= 2 ? r.substr(1, r.size() - 2) : std::wstring();
    }
    if (r == L"explorer") r = L"explorer.exe";
    return r;
}

std::wstring TrimmedUnquoted(std::wstring_view text) {
    std::wstring t = TrimBlanks(text);
    if (t.size() >= 2 && t.front() == L'"' && t.back() == L'"') t = t.substr(1, t.size() - 2);
    return t;
}

}  // namespace velmora
