// Reading the registry values that name programs and servers, one value at a time. A value
// the engine cannot use (not text, a number of the wrong size, text that expands past the
// system's limit) is no startup item and no server path: it is logged once, at the level of
// a note, and skipped. It never stops the listing and never makes it incomplete; only a key
// that cannot be read at all does that, and its error still reaches the caller.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"

namespace velmora {

class CFileChecker;

// The text of a value; nothing when it is of no use. Absent reads as empty text.
std::optional<std::wstring> ReadUsableText(tessel::RegistryAccessor& reg, tessel::Logger& log,
                                           std::wstring_view source, HKEY hive, const std::wstring& key,
                                           const std::wstring& valueName);

// The value exactly as stored; nothing when it is absent. A key or value that cannot be opened
// or read (a name too long for the registry, access refused) counts as absent too: that one
// read fails, not the list that it belongs to. The failure is logged at the level of an error
// unless `logged` is already set; it is set then, so that the reads of one item log it once.
std::optional<tessel::RegistryValue> ReadValueOrAbsent(tessel::RegistryAccessor& reg, tessel::Logger& log,
                                                       std::wstring_view source, HKEY hive, const std::wstring& key,
                                                       const std::wstring& valueName, bool& logged);

// The file that the value's text names (CFileChecker::ResolveRegisteredPath); nothing when
// the text cannot be used.
std::optional<std::wstring> ResolveUsablePath(CFileChecker& checker, tessel::Logger& log, std::wstring_view source,
                                              HKEY hive, const std::wstring& key, const std::wstring& valueName,
                                              const std::wstring& text);

}  // namespace velmora
