#include "inspection/FileInfoManager.h"

#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {
// The runtime's "Object variable or With block variable not set".
constexpr long kObjectNotSet = 91;
}  // namespace

CFileInfoManager::CFileInfoManager() = default;
CFileInfoManager::~CFileInfoManager() = default;

void CFileInfoManager::Init(tessel::Logger& Log) {
    Log_ = &Log;
    FileInfoCache = std::make_unique<tessel::KeyedList<Facts>>();
}

void CFileInfoManager::GetFileInfo(const std::wstring& Filename, std::wstring* Manufacturer,
                                   std::wstring* FileDescription) {
    if (!FileInfoCache)
        throw tessel::Error(kObjectNotSet,
                            L"Object variable or With block variable not set: the file-information manager "
                            L"has not been initialised.",
                            "CFileInfoManager.GetFileInfo");
    if (!FileInfoCache->Exists(Filename)) {
        Facts facts;
        const auto strings = tessel::SystemUtility::Instance().VersionStrings(Filename);
        if (strings.Count() > 0) {
            if (strings.Exists(L"FileDescription")) facts.D = strings.Item(L"FileDescription");
            if (strings.Exists(L"CompanyName")) facts.M = strings.Item(L"CompanyName");
        }
        FileInfoCache->Add(std::move(facts), Filename);
    }
    const Facts& facts = FileInfoCache->Item(Filename);
    if (Manufacturer) *Manufacturer = facts.M;
    if (FileDescription) *FileDescription = facts.D;
}

}  // namespace velmora
