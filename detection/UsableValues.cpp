#include "detection/UsableValues.h"

#include "inspection/FileChecker.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {
// A skipped value is a note, not an error: it stays out of the short log.
constexpr int kNoteLevel = 5;
// A key or value that cannot be read at all is an error of the user interface's kind.
constexpr int kErrorLevel = 4;

// One read whose failure of the kind Failure spoils that read alone: the failure is logged
// (when log is given) with what becomes of the value, and the read gives nothing.
template <class Failure, class Read>
auto ReadOrSkip(tessel::Logger* log, std::wstring_view source, int level, std::wstring_view outcome, Read read)
    -> std::optional<decltype(read())> {
    try {
        return read();
    } catch (const Failure& e) {
        if (log) log->Log(e.Number(), e.Description() + L" " + std::wstring(outcome), level, source);
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::wstring> ReadUsableText(tessel::RegistryAccessor& reg, tessel::Logger& log,
                                           std::wstring_view source, HKEY hive, const std::wstring& key,
                                           const std::wstring& valueName) {
    return ReadOrSkip<tessel::UnusableValue>(&log, source, kNoteLevel, L"It is skipped.",
                                             [&] { return reg.ReadString(hive, key, valueName); });
}

std::optional<tessel::RegistryValue> ReadValueOrAbsent(tessel::RegistryAccessor& reg, tessel::Logger& log,
                                                       std::wstring_view source, HKEY hive, const std::wstring& key,
                                                       const std::wstring& valueName, bool& logged) {
    auto value = ReadOrSkip<tessel::Error>(logged ? nullptr : &log, source, kErrorLevel, L"It is read as absent.",
                                           [&] { return reg.ReadValue(hive, key, valueName); });
    if (!value) {
        logged = true;
        return std::nullopt;
    }
    return std::move(*value);
}

std::optional<std::wstring> ResolveUsablePath(CFileChecker& checker, tessel::Logger& log, std::wstring_view source,
                                              HKEY hive, const std::wstring& key, const std::wstring& valueName,
                                              const std::wstring& text) {
    try {
        return checker.ResolveRegisteredPath(text);
    } catch (const tessel::UnusableValue& e) {
        log.Log(e.Number(),
                tessel::Format(L"The value '%1' of '%2\\%3' is skipped: %4", tessel::LogName(valueName),
                               tessel::RegistryAccessor::HiveName(hive), tessel::LogName(key), e.Description()),
                kNoteLevel, source);
        return std::nullopt;
    }
}

}  // namespace velmora
