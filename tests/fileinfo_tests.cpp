// File version information: the company name and the description from a file's version
// resource, kept per file name for the life of the manager.
#include <gtest/gtest.h>

#include <windows.h>

#include "FileFactsSupport.h"
#include "inspection/FileInfoManager.h"
#include "tessel/Error.h"

using velmora::CFileInfoManager;
using filefacts::CopyFixture;
using filefacts::Fixture;
using testing_support::Narrow;
using testing_support::TempDir;

namespace {

struct Facts {
    std::wstring company, description;
};

Facts Read(CFileInfoManager& manager, const std::wstring& file) {
    Facts f{L"poison", L"poison"};
    manager.GetFileInfo(file, &f.company, &f.description);
    return f;
}

#define EXPECT_FACTS(manager, file, company_, description_)  \
    do {                                                      \
        const Facts got = Read(manager, file);                \
        EXPECT_EQ(got.company, company_) << Narrow(file);     \
        EXPECT_EQ(got.description, description_) << Narrow(file); \
    } while (0)

}  // namespace

TEST(FileInfo, ReadsCompanyAndDescriptionOfEachKindOfFile) {
    tessel::Logger log;
    CFileInfoManager manager;
    manager.Init(log);
    EXPECT_FACTS(manager, Fixture(L"fixture_both.dll"), L"Quillon Labs", L"Quillon fixture library");
    EXPECT_FACTS(manager, Fixture(L"fixture_description.dll"), L"", L"Fixture without a maker");
    EXPECT_FACTS(manager, Fixture(L"fixture_emptycompany.dll"), L"", L"Fixture with an empty maker");
    EXPECT_FACTS(manager, Fixture(L"fixture_product.dll"), L"", L"");
    EXPECT_FACTS(manager, Fixture(L"fixture_bare.dll"), L"", L"");
    // The program's own files name their maker.
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_FACTS(manager, self, L"Ardentis Software", L"Velmora test program");
    EXPECT_FACTS(manager, testing_support::DeliverableFolder() + L"\\Velmora.exe", L"Ardentis Software", L"Velmora about:blank parasite remover");
    // Nothing there, or nothing readable as a program file.
    TempDir dir;
    testing_support::WriteBytes(dir / L"text.dll", "not a program at all");
    EXPECT_FACTS(manager, dir / L"text.dll", L"", L"");
    EXPECT_FACTS(manager, dir / L"missing.dll", L"", L"");
    EXPECT_FACTS(manager, dir.Path(), L"", L"");
    EXPECT_FACTS(manager, L"", L"", L"");
    EXPECT_FACTS(manager, dir / L"\x4e2d\\\x0416.dll", L"", L"");
}

TEST(FileInfo, AnswersFromItsCacheOnceAFileWasRead) {
    TempDir dir;
    const std::wstring file = dir / L"Cached.dll";
    CopyFixture(L"fixture_both.dll", file);
    tessel::Logger log;
    CFileInfoManager manager;
    manager.Init(log);
    EXPECT_FACTS(manager, file, L"Quillon Labs", L"Quillon fixture library");
    // Replaced by a file without a maker, then deleted: the first answer stays, in any case.
    CopyFixture(L"fixture_description.dll", file);
    EXPECT_FACTS(manager, file, L"Quillon Labs", L"Quillon fixture library");
    ::DeleteFileW(file.c_str());
    EXPECT_FACTS(manager, file, L"Quillon Labs", L"Quillon fixture library");
    EXPECT_FACTS(manager, dir / L"CACHED.DLL", L"Quillon Labs", L"Quillon fixture library");
    // Another manager has a cache of its own.
    CFileInfoManager other;
    other.Init(log);
    EXPECT_FACTS(other, file, L"", L"");
}

TEST(FileInfo, ACallWithoutOutputsStillFillsTheCache) {
    TempDir dir;
    const std::wstring file = dir / L"quiet.dll";
    CopyFixture(L"fixture_description.dll", file);
    tessel::Logger log;
    CFileInfoManager manager;
    manager.Init(log);
    manager.GetFileInfo(file);
    ::DeleteFileW(file.c_str());
    EXPECT_FACTS(manager, file, L"", L"Fixture without a maker");
    // Either output alone.
    std::wstring company = L"poison";
    CopyFixture(L"fixture_both.dll", dir / L"company.dll");
    manager.GetFileInfo(dir / L"company.dll", &company);
    EXPECT_EQ(company, L"Quillon Labs");
    std::wstring description = L"poison";
    manager.GetFileInfo(dir / L"company.dll", nullptr, &description);
    EXPECT_EQ(description, L"Quillon fixture library");
}

TEST(FileInfo, FailsBeforeInitAndCachesNothing) {
    CFileInfoManager manager;
    std::wstring company = L"poison";
    try {
        manager.GetFileInfo(Fixture(L"fixture_both.dll"), &company);
        ADD_FAILURE() << "no error before Init";
    } catch (const tessel::Error& e) {
        EXPECT_EQ(e.Number(), 91);
    }
    EXPECT_EQ(company, L"poison");
    tessel::Logger log;
    manager.Init(log);
    EXPECT_FACTS(manager, Fixture(L"fixture_both.dll"), L"Quillon Labs", L"Quillon fixture library");
}
