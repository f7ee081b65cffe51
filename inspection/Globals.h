// The process-wide values: set once by the start-up, in this order, and only read afterwards.
#pragma once
#include <memory>
#include <string>

#include "inspection/Hashier.h"

namespace tessel { class PendingError; }

namespace velmora {

inline std::unique_ptr<CHashier> GlobalHashier;
inline bool RunningOnNT = false;
inline bool RunningOnNT4 = false;
inline std::wstring WinDir;  // lower case, ends in "\"
inline std::wstring SysDir;  // lower case, ends in "\"

// The product key under HKEY_CURRENT_USER, and its record of the files disabled by renaming.
inline constexpr wchar_t kProductKey[] = L"Software\\Ardentis Software\\Velmora\\Current Version\\";
inline constexpr wchar_t kRemovedFilesKey[] = L"Software\\Ardentis Software\\Velmora\\Current Version\\Removed Files";

// Sets the five values in their order. A step that fails does not stop the next; its error
// is left pending for the start-up, and a value whose step failed keeps what it held.
void SetProcessWideValues(tessel::PendingError& pending);

// The fingerprint calculator of the run (made on first use where the start-up has not run).
CHashier& Hashier();

}  // namespace velmora
