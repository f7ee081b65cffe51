#pragma once
// The one way a path function of the system is asked for its answer.
#include <windows.h>

#include <optional>
#include <string>

namespace velmora {

// The buffer every search starts with, in the call's own units.
constexpr DWORD kPathBuffer = 2000;

// Calls fill(buffer, size) and takes what it wrote. The path functions report a buffer
// that is too small by returning the size they need (with its terminating NUL) and writing
// nothing; that is answered with one more call into a buffer of that size, never taken as
// a path. Nothing when the function fails or keeps asking for more.
template <class Char, class Fill>
std::optional<std::basic_string<Char>> CallForPath(Fill fill) {
    std::basic_string<Char> buffer(kPathBuffer, Char(' '));
    DWORD n = fill(buffer.data(), kPathBuffer);
    if (n >= kPathBuffer) {
        const DWORD needed = n;
        buffer.assign(needed, Char(' '));
        n = fill(buffer.data(), needed);
        if (n >= needed) return std::nullopt;
    }
    if (n == 0) return std::nullopt;
    buffer.resize(n);
    return buffer;
}

}  // namespace velmora
