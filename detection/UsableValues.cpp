#include "detection/UsableValues.h"

#include "inspection/FileChecker.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {
// A skipped value is a note, not an error: it stays out of the short log.
constexpr int kNoteLevel = 5;
}  // namespace

std::optional<std::wstring> ReadUsableText(tessel::RegistryAccessor& reg, tessel::Logger& log,
                                           std::wstring_view source, HKEY hive, const std::wstring& key,
                                           const std::wstring& valueName) {
    try {
        return reg.ReadString(hive, key, valueName);
    } catch (const tessel::UnusableValue& e) {
        log.Log(e.Number(), e.Description() + L" It is skipped.", kNoteLevel, source);
        return std::nullopt;
    }
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
