#include "detection/MRoDoraziva.h"

#include "inspection/Globals.h"
#include "tessel/SystemUtility.h"

namespace velmora {

bool IsComServerFile(tessel::RegistryAccessor& registry, const std::wstring& classId, const std::wstring& fileName,
                     std::wstring& serverPath) {
    const std::wstring expected = tessel::SystemUtility::Lower(SysDir + fileName);
    serverPath.clear();
    serverPath = registry.ReadString(HKEY_CLASSES_ROOT, L"CLSID\\" + classId + L"\\InProcServer32", L"");
    if (serverPath.empty())
        serverPath = registry.ReadString(HKEY_CLASSES_ROOT, L"CLSID\\" + classId + L"\\LocalServer32", L"");
    // Quotation marks, arguments or a missing folder make it another text, and so not the
    // expected server.
    const std::wstring expanded = tessel::SystemUtility::Instance().ExpandEnvironment(serverPath);
    return tessel::SystemUtility::Lower(expanded) == expected;
}

}  // namespace velmora
