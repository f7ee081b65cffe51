#include "detection/RoDoraziva.h"

#include <span>

#include "detection/ParasiteTables.h"
#include "fingerprints/GoodTables.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Globals.h"
#include "inspection/Hashier.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

using tessel::SystemUtility;

void FillList(tessel::KeyedList<std::int32_t>& list, std::span<const std::int32_t> values) {
    for (const std::int32_t v : values) list.Add(v, FingerprintKey(v));
}

// The last n characters of the text, lower-cased (the whole text when it is shorter).
std::wstring LowerTail(const std::wstring& s, std::size_t n) {
    return SystemUtility::Lower(s.size() > n ? std::wstring_view(s).substr(s.size() - n) : std::wstring_view(s));
}

bool Listed(const tessel::KeyedList<std::int32_t>& list, std::int32_t number) {
    return list.Exists(FingerprintKey(number));
}

std::int32_t Checksum(const std::wstring& Filename) {
    std::int32_t bytes = 0;
    return Hashier().HashFromFullFileName(Filename, bytes);
}

// 1-based position of the last c, 0 when there is none.
std::size_t LastPosition(const std::wstring& s, wchar_t c) {
    const std::size_t at = s.rfind(c);
    return at == std::wstring::npos ? 0 : at + 1;
}

// The runtime's "Object variable or With block variable not set".
constexpr long kObjectNotSet = 91;

}  // namespace

std::wstring FingerprintKey(std::int32_t number) { return L"_" + std::to_wstring(number); }

CRoDoraziva::CRoDoraziva() {
    FillParasiteSizes();
    FillParasiteChecksums();
    FillGoodSizes();
    FillGoodChecksums();
}

CRoDoraziva::~CRoDoraziva() = default;

void CRoDoraziva::Init(tessel::Logger& Log, CFileInfoManager* FileInfoManager) {
    Log_ = &Log;
    if (FileInfoManager) {
        FileInfoManager_ = FileInfoManager;
    } else {
        OwnFileInfoManager_ = std::make_unique<CFileInfoManager>();
        OwnFileInfoManager_->Init(Log);
        FileInfoManager_ = OwnFileInfoManager_.get();
    }
}

std::wstring CRoDoraziva::CompanyName(const std::wstring& Filename) {
    if (!FileInfoManager_)
        throw tessel::Error(kObjectNotSet,
                            L"Object variable or With block variable not set: the detector has no "
                            L"file-information manager.");
    std::wstring company;
    FileInfoManager_->GetFileInfo(Filename, &company, nullptr);
    return company;
}

bool CRoDoraziva::IsGoodRunningModule(const std::wstring& Filename) {
    bool good = false;
    tessel::Guard(*Log_, L"CRoDoraziva.IsGoodRunningModule", 0, [&] {
        // The session manager as the system names it at boot, before any drive exists.
        if (SystemUtility::Lower(Filename) == L"\\systemroot\\system32\\smss.exe") {
            good = true;
            return;
        }
        if (!CompanyName(Filename).empty()) return;
        if (!Listed(GoodSizes, FileSizeFromFullFileName(Filename))) return;
        good = Listed(GoodChecksums, Checksum(Filename));
    });
    return good;
}

bool CRoDoraziva::IsSuspiciousRunningModule(const std::wstring& Filename) {
    bool suspicious = false;
    tessel::Guard(*Log_, L"CRoDoraziva.IsSuspiciousRunningModule", 0, [&] {
        if (IsGoodRunningModule(Filename)) return;
        suspicious = CompanyName(Filename).empty();
    });
    return suspicious;
}

bool CRoDoraziva::IsUnmarkedBHO(const std::wstring& Filename) {
    if (!CompanyName(Filename).empty()) return false;
    if (LowerTail(Filename, 17) == L"\\acroiehelper.ocx") return false;
    if (LowerTail(Filename, 22) == L"\\pcshared\\nmiehelp.dll") return false;
    return true;
}

bool CRoDoraziva::IsSuspiciousBHO(const std::wstring& Filename) {
    bool suspicious = false;
    tessel::Guard(*Log_, L"CRoDoraziva.IsSuspiciousBHO", 0, [&] { suspicious = IsUnmarkedBHO(Filename); });
    return suspicious;
}

bool CRoDoraziva::IsParasiteBHO(const std::wstring& Filename) {
    bool parasite = false;
    tessel::Guard(*Log_, L"CRoDoraziva.IsParasiteBHO", 0, [&] {
        parasite = IsUnmarkedBHO(Filename) && LowerTail(Filename, 20) != L"\\acroiefavclient.dll";
    });
    return parasite;
}

bool CRoDoraziva::IsParasiteRunningModule(const std::wstring& Filename) {
    bool parasite = false;
    tessel::Guard(*Log_, L"CRoDoraziva.IsParasiteRunningModule", 0, [&] {
        // The name alone first: a temporary file run as a program, or a stream of a file.
        const std::wstring lower = SystemUtility::Lower(Filename);
        const std::size_t slash = lower.rfind(L'\\');
        const std::wstring name = slash == std::wstring::npos ? lower : lower.substr(slash + 1);
        if (name.find(L".tmp") != std::wstring::npos ||
            LastPosition(Filename, L':') > LastPosition(Filename, L'\\')) {
            parasite = true;
            return;
        }
        const std::int32_t size = FileSizeFromFullFileName(Filename);
        if (size == 0) return;
        if (Listed(ParasiteSizes, size) && Listed(ParasiteChecksums, Checksum(Filename))) {
            parasite = true;
            return;
        }
        if (LowerTail(Filename, 6) == L"32.exe" || LowerTail(Filename, 7) == L"\\se.dll")
            parasite = CompanyName(Filename).empty();
    });
    return parasite;
}

const tessel::KeyedList<std::int32_t>& CRoDoraziva::Fingerprints(FingerprintList which) const {
    switch (which) {
        case FingerprintList::ParasiteSizes: return ParasiteSizes;
        case FingerprintList::ParasiteChecksums: return ParasiteChecksums;
        case FingerprintList::GoodSizes: return GoodSizes;
        case FingerprintList::GoodChecksums: break;
    }
    return GoodChecksums;
}

void CRoDoraziva::FillParasiteSizes() { FillList(ParasiteSizes, ParasiteSizeTable()); }
void CRoDoraziva::FillParasiteChecksums() { FillList(ParasiteChecksums, ParasiteChecksumTable()); }
void CRoDoraziva::FillGoodSizes() { FillList(GoodSizes, GoodSizeTable()); }
void CRoDoraziva::FillGoodChecksums() { FillList(GoodChecksums, GoodChecksumTable()); }

}  // namespace velmora
