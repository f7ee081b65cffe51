#include "tessel/SystemUtility.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/Unique.h"

namespace tessel {

SystemUtility& SystemUtility::Instance() {
    static SystemUtility instance;
    return instance;
}

std::wstring SystemUtility::NewId() {
    GUID g;
    if (FAILED(::CoCreateGuid(&g))) throw Error(kUnspecifiedFailure, L"No new identifier.", "CoCreateGuid");
    wchar_t buf[40];
    std::swprintf(buf, 40, L"%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return buf;
}

std::wstring SystemUtility::TempFolder() {
    wchar_t buf[MAX_PATH + 2];
    const DWORD n = ::GetTempPathW(MAX_PATH + 2, buf);
    if (n == 0 || n > MAX_PATH + 1) ThrowLastError("GetTempPathW", L"The temporary folder is unknown");
    return std::wstring(buf, n);
}

std::wstring SystemUtility::TempFileName(std::wstring_view prefix) {
    const std::wstring folder = TempFolder();
    wchar_t buf[MAX_PATH];
    if (!::GetTempFileNameW(folder.c_str(), std::wstring(prefix).c_str(), 0, buf))
        ThrowLastError("GetTempFileNameW", L"No temporary file in '" + folder + L"'");
    return buf;
}

void SystemUtility::PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::wstring SystemUtility::ExpandEnvironment(std::wstring_view textIn) {
    const std::wstring source(textIn);
    if (source.empty()) return source;
    // The system expands at most 32K characters and silently cuts what is beyond: a text
    // that does not fit is of no use to the caller, never a cut one.
    if (source.size() >= 32767)
        throw UnusableValue(ERROR_FILENAME_EXCED_RANGE,
                            L"The text is too long to expand (" + std::to_wstring(source.size()) + L" characters).",
                            "ExpandEnvironmentStringsW");
    std::wstring buf(source.size() + 256, L'\0');
    for (;;) {
        const DWORD n = ::ExpandEnvironmentStringsW(source.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            ThrowLastError<UnusableValue>("ExpandEnvironmentStringsW", L"Cannot expand '" + source.substr(0, 64) + L"...'");
        if (n > 32767)
            throw UnusableValue(ERROR_FILENAME_EXCED_RANGE,
                                L"The expansion of '" + source.substr(0, 64) + L"...' is too long (" +
                                    std::to_wstring(n - 1) + L" characters).",
                                "ExpandEnvironmentStringsW");
        if (n <= buf.size()) {
            buf.resize(n - 1);  // n counts the terminating NUL
            return buf;
        }
        buf.assign(n, L'\0');
    }
}

std::wstring SystemUtility::GetWindowsVersion(long& major, long& minor, long& build, long& platformId,
                                              std::wstring& servicePack) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!api::kernel32().GetVersionExW(&info)) ThrowLastError("GetVersionExW", L"The Windows version is unknown");
    major = static_cast<long>(info.dwMajorVersion);
    minor = static_cast<long>(info.dwMinorVersion);
    platformId = static_cast<long>(info.dwPlatformId);
    // On the 9x family the high word of the build number repeats the version.
    build = static_cast<long>(platformId == VER_PLATFORM_WIN32_NT ? info.dwBuildNumber
                                                                  : (info.dwBuildNumber & 0xFFFF));
    servicePack.assign(info.szCSDVersion, wcsnlen(info.szCSDVersion, 128));
    std::wstring family = platformId == VER_PLATFORM_WIN32_NT      ? L"Windows NT"
                          : platformId == VER_PLATFORM_WIN32_WINDOWS ? L"Windows"
                                                                     : L"Win32s";
    std::wstring text = family + L" " + std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." +
                        std::to_wstring(build);
    if (!servicePack.empty()) text += L" " + servicePack;
    return text;
}

std::wstring SystemUtility::SystemErrorText(unsigned long code) {
    UniqueLocal buffer;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    std::wstring text;
    if (n && buffer) text.assign(static_cast<const wchar_t*>(buffer.get()), n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) text = L"Unknown error " + std::to_wstring(code) + L".";
    return text;
}

namespace {

// A block of a version resource: wLength, wValueLength, wType, the key, then value and
// children, each aligned to 32 bits from the start of the resource.
struct Block {
    const BYTE* start;
    WORD length;
    WORD valueLength;
    WORD type;
    std::wstring key;
    const BYTE* value;
    const BYTE* children;
    const BYTE* end;
};

const BYTE* Align(const BYTE* base, const BYTE* p) {
    return base + ((p - base + 3) & ~std::ptrdiff_t(3));
}

bool ReadBlock(const BYTE* base, const BYTE* p, const BYTE* limit, Block& b) {
    if (limit - p < 6) return false;
    std::memcpy(&b.length, p, 2);
    std::memcpy(&b.valueLength, p + 2, 2);
    std::memcpy(&b.type, p + 4, 2);
    if (b.length < 6 || b.length > limit - p) return false;
    b.start = p;
    b.end = p + b.length;
    const BYTE* k = p + 6;
    b.key.clear();
    for (; k + 1 < b.end; k += 2) {
        wchar_t c;
        std::memcpy(&c, k, 2);
        if (c == 0) break;
        b.key += c;
    }
    k += 2;
    b.value = Align(base, k);
    // In string entries wValueLength counts characters; elsewhere bytes.
    const std::size_t valueBytes = b.type == 1 ? std::size_t(b.valueLength) * 2 : b.valueLength;
    b.children = Align(base, b.value + valueBytes);
    if (b.value > b.end) b.value = b.end;
    if (b.children > b.end) b.children = b.end;
    return true;
}

template <class F>
void ForEachChild(const BYTE* base, const Block& parent, F&& f) {
    const BYTE* p = parent.children;
    Block child;
    while (p < parent.end && ReadBlock(base, p, parent.end, child)) {
        f(child);
        p = Align(base, child.end);
    }
}

// The version resource read out of a program file's own bytes: the first language of the
// RT_VERSION resource of its image. Empty when the file is no 32- or 64-bit image, or has none.
std::vector<BYTE> VersionResourceOfImage(const std::vector<std::uint8_t>& image) {
    // Offsets are counted in 64 bits: a sum of two 32-bit fields of a broken image must not wrap
    // round to a place inside the file.
    using Offset = std::uint64_t;
    const auto u16 = [&](Offset at) -> std::optional<DWORD> {
        if (at > image.size() || image.size() - at < 2) return std::nullopt;
        return static_cast<DWORD>(image[at] | image[at + 1] << 8);
    };
    const auto u32 = [&](Offset at) -> std::optional<DWORD> {
        const auto low = u16(at), high = u16(at + 2);
        if (!low || !high) return std::nullopt;
        return *low | *high << 16;
    };
    if (u16(0) != 0x5A4Du) return {};  // "MZ"
    const auto pe = u32(0x3C);
    if (!pe || u32(*pe) != 0x00004550u) return {};  // "PE\0\0"
    const auto sections = u16(*pe + 6), optionalSize = u16(*pe + 20), magic = u16(*pe + 24);
    if (!sections || !optionalSize || !magic) return {};
    const Offset directories = Offset{*pe} + 24 + (*magic == 0x20B ? 112 : 96);
    const auto resourceRva = u32(directories + 2 * 8);
    if (!resourceRva || *resourceRva == 0) return {};
    const Offset table = Offset{*pe} + 24 + *optionalSize;
    // Where a virtual address of the image lies in the file, and how many bytes of the section's
    // raw data follow it there: what lies past the raw data is zeros in memory, not the next bytes
    // of the file. A section without a virtual size is as large as its raw data.
    const auto offsetOf = [&](DWORD rva) -> std::optional<std::pair<Offset, DWORD>> {
        for (DWORD n = 0; n < *sections; ++n) {
            const Offset section = table + Offset{n} * 40;
            const auto virtualSize = u32(section + 8), address = u32(section + 12), rawSize = u32(section + 16),
                       raw = u32(section + 20);
            if (!virtualSize || !address || !rawSize || !raw) return std::nullopt;
            const DWORD size = *virtualSize ? std::min(*virtualSize, *rawSize) : *rawSize;
            if (rva >= *address && rva - *address < size)
                return std::pair{Offset{*raw} + (rva - *address), size - (rva - *address)};
        }
        return std::nullopt;
    };
    const auto rootAt = offsetOf(*resourceRva);
    if (!rootAt) return {};
    const Offset* const root = &rootAt->first;
    // One level of the resource tree: the entry of the id given (or the first when none is
    // given), its offset from the root, and whether it is a further level.
    const auto entryOf = [&](Offset directory, std::optional<DWORD> id) -> std::optional<std::pair<DWORD, bool>> {
        const auto named = u16(directory + 12), ids = u16(directory + 14);
        if (!named || !ids) return std::nullopt;
        for (DWORD n = 0; n < *named + *ids; ++n) {
            const auto name = u32(directory + 16 + Offset{n} * 8), target = u32(directory + 20 + Offset{n} * 8);
            if (!name || !target) return std::nullopt;
            if (!id || *name == *id) return std::pair{*target & 0x7FFFFFFFu, (*target & 0x80000000u) != 0};
        }
        return std::nullopt;
    };
    const auto type = entryOf(*root, 16u);  // RT_VERSION
    if (!type || !type->second) return {};
    const auto name = entryOf(*root + type->first, std::nullopt);
    if (!name || !name->second) return {};
    const auto language = entryOf(*root + name->first, std::nullopt);
    if (!language || language->second) return {};
    const auto dataRva = u32(*root + language->first), dataSize = u32(*root + language->first + 4);
    if (!dataRva || !dataSize) return {};
    const auto dataAt = offsetOf(*dataRva);
    if (!dataAt || dataAt->second < *dataSize || dataAt->first > image.size() || image.size() - dataAt->first < *dataSize)
        return {};
    const Offset* const data = &dataAt->first;
    // The query functions trust the lengths the resource gives itself, each at most 64 KB: zeros
    // behind it give whatever a broken one claims something to read, and room for what the
    // functions convert in place.
    std::vector<BYTE> resource(std::max<std::size_t>(std::size_t{*dataSize} * 2, 0x20000), 0);
    std::memcpy(resource.data(), image.data() + *data, *dataSize);
    return resource;
}

// The whole version resource of a file; empty when it has none or cannot be read. Reading
// it opens the file: a device (a serial port may wait forever) or a pipe is no file, and has
// no version resource. The version functions make a plain name of a verbatim one, which can be
// another file ("\\?\c:\x\tool.dll." is read as c:\x\tool.dll): a verbatim name is read from the
// file's own bytes.
std::vector<BYTE> VersionResource(const std::wstring& file) {
    if (file.empty() || FileAccessor::IsDevicePath(file)) return {};
    if (file.rfind(L"\\\\?\\", 0) == 0) {
        std::vector<BYTE> resource;
        PassOver([&] { resource = VersionResourceOfImage(FileAccessor::Instance().ReadBytes(file)); });
        return resource;
    }
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return {};
    return data;
}

}  // namespace

std::optional<SystemUtility::FileVersionNumbers> SystemUtility::FileVersion(const std::wstring& file) {
    std::vector<BYTE> data = VersionResource(file);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (data.empty() || !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    return FileVersionNumbers{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                              HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

KeyedList<std::wstring> SystemUtility::VersionStrings(const std::wstring& file) {
    KeyedList<std::wstring> result;
    std::vector<BYTE> data = VersionResource(file);
    if (data.empty()) return result;

    // The language the resource itself names first wins; else the first string table.
    std::wstring wanted;
    struct LangCp { WORD lang, cp; }* translation = nullptr;
    UINT len = 0;
    if (::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                         &len) && translation && len >= sizeof(LangCp)) {
        wchar_t buf[16];
        std::swprintf(buf, 16, L"%04x%04x", translation->lang, translation->cp);
        wanted = buf;
    }
    const BYTE* base = data.data();
    Block root;
    if (!ReadBlock(base, base, base + data.size(), root)) return result;
    const Block* chosen = nullptr;
    Block first{}, match{};
    bool haveFirst = false, haveMatch = false;
    ForEachChild(base, root, [&](const Block& info) {
        if (info.key != L"StringFileInfo") return;
        ForEachChild(base, info, [&](const Block& table) {
            if (!haveFirst) { first = table; haveFirst = true; }
            if (!haveMatch && !wanted.empty() && _wcsicmp(table.key.c_str(), wanted.c_str()) == 0) {
                match = table;
                haveMatch = true;
            }
        });
    });
    if (haveMatch) chosen = &match;
    else if (haveFirst) chosen = &first;
    if (!chosen) return result;
    ForEachChild(base, *chosen, [&](const Block& entry) {
        if (entry.key.empty() || result.Exists(entry.key)) return;
        std::wstring value;
        for (const BYTE* v = entry.value; v + 1 < entry.end; v += 2) {
            wchar_t c;
            std::memcpy(&c, v, 2);
            if (c == 0) break;
            value += c;
        }
        if (entry.valueLength == 0) value.clear();
        result.Add(value, entry.key);
    });
    return result;
}

std::wstring SystemUtility::Lower(std::wstring_view s) {
    std::wstring out(s);
    if (!out.empty()) ::CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::wstring SystemUtility::Upper(std::wstring_view s) {
    std::wstring out(s);
    if (!out.empty()) ::CharUpperBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::string SystemUtility::ToAnsi(std::wstring_view s) {
    if (s.empty()) return {};
    // No best fit: a character the code page lacks becomes "?", never a look-alike that
    // would name another file.
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                          nullptr);
    return out;
}

std::wstring SystemUtility::FromAnsi(std::string_view s) {
    if (s.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

}  // namespace tessel
