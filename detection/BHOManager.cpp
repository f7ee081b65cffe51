#include "detection/BHOManager.h"

#include "detection/UsableValues.h"
#include "inspection/FileChecker.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora {

CBHOManager::CBHOManager() = default;
CBHOManager::~CBHOManager() = default;

void CBHOManager::Init(tessel::Logger& Log) {
    log_ = &Log;
    reg_ = std::make_unique<tessel::RegistryAccessor>();
}

std::unique_ptr<tessel::NodeList> CBHOManager::EnumBHOs() {
    complete_ = false;
    std::unique_ptr<tessel::NodeList> list;
    tessel::Guard(*log_, L"CBHOManager.EnumBHOs", 4, [&] {
        checker_ = std::make_unique<CFileChecker>();
        auto found = std::make_unique<tessel::NodeList>();
        const auto names = reg_->EnumKeys(HKEY_LOCAL_MACHINE, kBHOKey);
        complete_ = true;
        FillBHOInfo(names, *found);
        list = std::move(found);
    });
    return list;
}

BHOFacts ReadBHOFacts(tessel::RegistryAccessor& reg, CFileChecker& checker, tessel::Logger& log,
                      std::wstring_view source, const std::wstring& id, std::wstring_view lastName) {
    // A value of no use (not text, text that expands past the limit) is noted and read as
    // absent: a name that is no text is no name, a server entry that is no text names no server.
    std::wstring name =
        ReadUsableText(reg, log, source, HKEY_LOCAL_MACHINE, std::wstring(kBHOKey) + L"\\" + id, L"").value_or(L"");
    BHOFacts facts;
    for (const wchar_t* server : {L"\\InProcServer32", L"\\LocalServer32"}) {
        const std::wstring key = L"CLSID\\" + id + server;
        const std::wstring text = ReadUsableText(reg, log, source, HKEY_CLASSES_ROOT, key, L"").value_or(L"");
        if (text.empty()) continue;
        const auto resolved = ResolveUsablePath(checker, log, source, HKEY_CLASSES_ROOT, key, L"", text);
        if (!resolved) continue;
        facts.dll = *resolved;
        break;
    }
    if (name.empty()) {
        auto strings = tessel::SystemUtility::Instance().VersionStrings(facts.dll);
        if (strings.Exists(L"ProductName")) name = strings.Item(L"ProductName");
    }
    if (name.empty()) name = facts.dll;
    if (name.empty()) name = lastName;
    for (wchar_t c : name)
        if (c != L'&') facts.name += c;
    return facts;
}

void CBHOManager::FillBHOInfo(const tessel::KeyedList<std::wstring>& names, tessel::NodeList& list) {
    const wchar_t* const kSource = L"CBHOManager.FillBHOInfo";
    for (const std::wstring& id : names) {
        if (id.size() != 38) continue;
        // Everything is read before the record is made: a record is whole or absent.
        const bool filled = tessel::Guard(*log_, kSource, 4, [&] {
            const BHOFacts facts = ReadBHOFacts(*reg_, *checker_, *log_, kSource, id);
            tessel::Node& node = list.Add();
            node.Id = id;
            node.params.Add(L"Name", facts.name);
            node.params.Add(L"DLL", facts.dll);
        });
        if (!filled) complete_ = false;
    }
}

bool CBHOManager::DeleteBHO(const std::wstring& Id) {
    // An empty or nested name would name the whole list of registrations, or another key.
    const bool usable = !Id.empty() && Id.find(L'\\') == std::wstring::npos;
    const bool deleted = usable && reg_->DeleteKey(HKEY_LOCAL_MACHINE, std::wstring(kBHOKey) + L"\\" + Id);
    log_->Log(0, tessel::Format(L"Deleting BHO(%1)", Id), 5, L"");
    return deleted;
}

}  // namespace velmora
