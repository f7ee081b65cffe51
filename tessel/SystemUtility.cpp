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

// Offsets are counted in 64 bits: a sum of two 32-bit fields of a broken image must not wrap
// round to a place inside the file.
using Offset = std::uint64_t;

DWORD Le16(const BYTE* p) { return static_cast<DWORD>(p[0] | p[1] << 8); }
DWORD Le32(const BYTE* p) { return Le16(p) | Le16(p + 2) << 16; }

// Bytes of the file from `at` on, `size` of them.
struct Span {
    Offset at, size;
    // `count` bytes from `from` on lie inside.
    bool Holds(Offset from, Offset count) const {
        return from >= at && from - at <= size && size - (from - at) >= count;
    }
};

// A program file read where its headers point, never whole: a broken one may point anywhere,
// and a large one is mostly what the version reading has no use for.
class ImageFile {
public:
    explicit ImageFile(const std::wstring& path) : file_(FileAccessor::OpenDiskFile(path, FILE_ATTRIBUTE_NORMAL)) {
        LARGE_INTEGER size{};
        if (file_ && ::GetFileSizeEx(file_.get(), &size) && size.QuadPart > 0) whole_.size = Offset(size.QuadPart);
    }
    const Span& Whole() const { return whole_; }
    // `count` bytes from `at` on, all inside `within` and the file; false when they are not there.
    bool Read(Offset at, BYTE* into, std::size_t count, const Span& within) const {
        if (!within.Holds(at, count) || !whole_.Holds(at, count)) return false;
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(at);
        if (!::SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN)) return false;
        while (count > 0) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 20));
            if (!::ReadFile(file_.get(), into, want, &got, nullptr) || got == 0) return false;  // shrank meanwhile
            into += got;
            count -= got;
        }
        return true;
    }
    // The same into a buffer of its own, made only once the count is known to fit.
    std::optional<std::vector<BYTE>> Read(Offset at, std::size_t count, const Span& within) const {
        if (!within.Holds(at, count) || !whole_.Holds(at, count)) return std::nullopt;
        std::vector<BYTE> bytes(count);
        if (!Read(at, bytes.data(), count, within)) return std::nullopt;
        return bytes;
    }

private:
    UniqueFile file_;
    Span whole_{0, 0};
};

// The version resource read out of a program file's own bytes: the entry the system's version
// functions take, RT_VERSION 1 in the neutral language or else the lowest-numbered one. Empty
// when the file is no 32- or 64-bit image, has none, or its resource tree is broken.
std::vector<BYTE> VersionResourceOfImage(const ImageFile& image) {
    const Span& whole = image.Whole();
    BYTE dos[0x40];
    if (!image.Read(0, dos, sizeof dos, whole) || Le16(dos) != 0x5A4Du) return {};  // "MZ"
    const Offset pe = Le32(dos + 0x3C);
    BYTE head[24];  // the signature and the file header
    if (!image.Read(pe, head, sizeof head, whole) || Le32(head) != 0x00004550u) return {};  // "PE\0\0"
    const DWORD sectionCount = Le16(head + 6);
    const auto optional = image.Read(pe + 24, Le16(head + 20), whole);
    if (!optional || optional->size() < 2) return {};
    const DWORD magic = Le16(optional->data());
    if (magic != 0x10Bu && magic != 0x20Bu) return {};
    const std::size_t directoryCount = magic == 0x20Bu ? 108 : 92, resourceDirectory = directoryCount + 4 + 2 * 8;
    if (optional->size() < resourceDirectory + 8 || Le32(&(*optional)[directoryCount]) <= 2) return {};
    const DWORD resourceRva = Le32(&(*optional)[resourceDirectory]);
    if (resourceRva == 0) return {};
    const auto sections = image.Read(pe + 24 + optional->size(), std::size_t{sectionCount} * 40, whole);
    if (!sections) return {};
    // Where a virtual address of the image lies in the file, and the section's raw data that
    // follows it there: what lies past the raw data is zeros in memory, not the next bytes of the
    // file, and raw data past the end of the file is none. A section without a virtual size is as
    // large as its raw data.
    const auto spanOf = [&](DWORD rva) -> std::optional<Span> {
        for (std::size_t n = 0; n < sectionCount; ++n) {
            const BYTE* section = &(*sections)[n * 40];
            const DWORD virtualSize = Le32(section + 8), address = Le32(section + 12), rawSize = Le32(section + 16);
            const Offset raw = Le32(section + 20);
            const DWORD size = virtualSize ? std::min(virtualSize, rawSize) : rawSize;
            if (rva < address || rva - address >= size) continue;
            const Offset at = raw + (rva - address);
            if (at >= whole.size) return std::nullopt;
            return Span{at, std::min<Offset>(size - (rva - address), whole.size - at)};
        }
        return std::nullopt;
    };
    const auto root = spanOf(resourceRva);
    if (!root) return {};
    // A level of the tree, by its offset from the root: the target of the entry `pick` chooses
    // among (name or id, target) pairs, and whether it is a further level. A level that leads
    // back to itself or to one above it is a broken tree, as is one whose entries do not fit.
    std::vector<Offset> levels;
    const auto entryOf = [&](Offset level, auto pick) -> std::optional<std::pair<DWORD, bool>> {
        if (std::find(levels.begin(), levels.end(), level) != levels.end()) return std::nullopt;
        levels.push_back(level);
        BYTE header[16];
        if (!image.Read(root->at + level, header, sizeof header, *root)) return std::nullopt;
        const std::size_t count = std::size_t{Le16(header + 12)} + Le16(header + 14);
        const auto entries = image.Read(root->at + level + 16, count * 8, *root);
        if (!entries) return std::nullopt;
        const std::optional<std::size_t> chosen = pick(*entries);
        if (!chosen) return std::nullopt;
        const DWORD target = Le32(&(*entries)[*chosen * 8 + 4]);
        return std::pair{target & 0x7FFFFFFFu, (target & 0x80000000u) != 0};
    };
    const auto id = [](DWORD wanted) {
        return [wanted](const std::vector<BYTE>& entries) -> std::optional<std::size_t> {
            for (std::size_t n = 0; n < entries.size() / 8; ++n)
                if (Le32(&entries[n * 8]) == wanted) return n;
            return std::nullopt;
        };
    };
    // The neutral language when there is one, else the lowest-numbered.
    const auto language = [](const std::vector<BYTE>& entries) -> std::optional<std::size_t> {
        std::optional<std::size_t> lowest;
        for (std::size_t n = 0; n < entries.size() / 8; ++n) {
            const DWORD name = Le32(&entries[n * 8]);
            if (name & 0x80000000u) continue;  // a named entry names no language
            if (!lowest || name < Le32(&entries[*lowest * 8])) lowest = n;
        }
        return lowest;
    };
    const auto type = entryOf(0, id(16));  // RT_VERSION
    if (!type || !type->second) return {};
    const auto name = entryOf(type->first, id(1));  // VS_VERSION_INFO
    if (!name || !name->second) return {};
    const auto leaf = entryOf(name->first, language);
    if (!leaf || leaf->second) return {};
    BYTE entry[8];
    if (!image.Read(root->at + leaf->first, entry, sizeof entry, *root)) return {};
    const DWORD dataSize = Le32(entry + 4);
    const auto data = spanOf(Le32(entry));
    if (!data || dataSize == 0 || !data->Holds(data->at, dataSize)) return {};
    // A version block gives its length in 16 bits: the query functions read no further than its
    // first 64 KB. They trust the lengths the resource gives itself, each at most 64 KB: zeros
    // behind it give whatever a broken one claims something to read, and room for what the
    // functions convert in place.
    const std::size_t used = std::min<std::size_t>(dataSize, 0xFFFF);
    std::vector<BYTE> resource(std::max<std::size_t>(used * 2, 0x20000), 0);
    if (!image.Read(data->at, resource.data(), used, *data)) return {};
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
        PassOver([&] { resource = VersionResourceOfImage(ImageFile(file)); });
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
