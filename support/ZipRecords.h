// The records that the zip archive wrapper hands to the zip library: the options, the names
// of one run and the four callbacks. In the 32-bit build they are laid out byte for byte as
// the library's interface has them (32-bit fields and pointers); in the 64-bit build the
// pointers are pointer-wide and the rest keeps its order.
#pragma once
#include <windows.h>

#include <cstddef>

namespace velmora::zip {

struct ZipOptions {
    const char* Date;        // never set
    const char* RootFolder;  // BasePath
    const char* TempFolder;  // never set
    LONG Unused12[2];
    LONG Encrypt;
    LONG IncludeSystemAndHidden;
    LONG VolumeLabel;
    LONG Unused32;
    LONG NoDirectoryEntries;
    LONG Unused40[2];
    LONG Verbose;
    LONG Quiet;
    LONG CrlfToLf;
    LONG LfToCrlf;
    LONG JunkFolderNames;
    LONG AllowAppend;
    LONG Unused72[2];
    LONG DeleteEntries;
    LONG UpdateIfNewer;
    LONG FreshenOnly;
    LONG Unused92[6];
    LONG Recurse;  // 2 when on
    LONG Unused120[2];
};

constexpr std::size_t kNameSlots = 1024;
// The last slot carries the empty name that ends the list.
constexpr std::size_t kMostPatterns = kNameSlots - 1;

struct ZipNames {
    const char* Slot[kNameSlots];
};

// Called by the library during a run, on the caller's thread.
using PrintCallback = LONG(WINAPI*)(const char* message, ULONG length);
using PasswordCallback = LONG(WINAPI*)(char* buffer, LONG_PTR size, LONG_PTR prompt, LONG_PTR name);
using CommentCallback = char*(WINAPI*)(char* result, char* buffer);
using ServiceCallback = LONG(WINAPI*)(LONG_PTR name, LONG_PTR size);

constexpr std::size_t kPasswordBuffer = 256;
constexpr std::size_t kCommentBlock = 4097;

struct ZipCallbacks {
    PrintCallback Print;
    PasswordCallback Password;
    CommentCallback Comment;
    ServiceCallback Service;
};

#if !defined(_WIN64)
static_assert(sizeof(ZipOptions) == 128, "options record of the library");
static_assert(offsetof(ZipOptions, RootFolder) == 4 && offsetof(ZipOptions, TempFolder) == 8);
static_assert(offsetof(ZipOptions, Encrypt) == 20 && offsetof(ZipOptions, IncludeSystemAndHidden) == 24);
static_assert(offsetof(ZipOptions, VolumeLabel) == 28 && offsetof(ZipOptions, NoDirectoryEntries) == 36);
static_assert(offsetof(ZipOptions, Verbose) == 48 && offsetof(ZipOptions, Quiet) == 52);
static_assert(offsetof(ZipOptions, CrlfToLf) == 56 && offsetof(ZipOptions, LfToCrlf) == 60);
static_assert(offsetof(ZipOptions, JunkFolderNames) == 64 && offsetof(ZipOptions, AllowAppend) == 68);
static_assert(offsetof(ZipOptions, DeleteEntries) == 80 && offsetof(ZipOptions, UpdateIfNewer) == 84);
static_assert(offsetof(ZipOptions, FreshenOnly) == 88 && offsetof(ZipOptions, Recurse) == 116);
static_assert(sizeof(ZipNames) == 4096, "1024 name slots of four bytes");
static_assert(sizeof(ZipCallbacks) == 16, "four procedure addresses");
#endif

// The library's results: 0 for success, else the reason the run made no change.
enum ZipResult : LONG {
    kZipOk = 0,
    kZipBadArchive = 3,   // an archive that cannot be read (or needs what this library lacks)
    kZipNoMemory = 4,
    kZipCancelled = 9,    // a callback asked to stop, or no password was given
    kZipTempFailed = 10,
    kZipReadFailed = 11,
    kZipNothingToDo = 12,
    kZipWriteFailed = 14,
    kZipBadParameters = 16,
    kZipOpenFailed = 18,
};

// The library: callbacks for the runs that follow, options for the runs that follow, and one
// run that adds the named files to the archive (or deletes the named entries from it).
LONG WINAPI ZpInit(ZipCallbacks* callbacks);
LONG WINAPI ZpSetOptions(ZipOptions* options);
LONG WINAPI ZpArchive(LONG count, const char* archive, ZipNames* names);

}  // namespace velmora::zip
