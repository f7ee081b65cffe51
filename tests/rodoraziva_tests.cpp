// The detector's five tests: known-good, suspicious and parasite modules and Browser Helper
// Object files, on real files made to the fingerprints each case needs, and by name alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "FileFactsSupport.h"
#include "detection/ParasiteTables.h"
#include "detection/RoDoraziva.h"
#include "fingerprints/GoodTables.h"
#include "inspection/FileInfoManager.h"
#include "tessel/Api.h"

using namespace velmora;
using filefacts::BytesWithChecksum;
using filefacts::CopyFixture;
using filefacts::Fixture;
using filefacts::FixtureBytes;
using filefacts::Sum;
using filefacts::TestLog;
using tessel::api::kernel32;
using tessel::api::ScopedPreset;
using testing_support::Narrow;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

bool In(std::span<const std::int32_t> table, std::int64_t v) {
    return std::binary_search(table.begin(), table.end(), static_cast<std::int32_t>(v));
}

// A detector with its own file-information manager and a log of its own.
struct Detector {
    TempDir dir;
    TestLog log{dir.Path()};
    CRoDoraziva rd;
    Detector() { rd.Init(log.Logger()); }
    // A file made of these bytes in the detector's folder.
    std::wstring File(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = dir / name;
        WriteBytes(path, bytes);
        return path;
    }
    std::wstring Copy(const std::wstring& fixture, const std::wstring& name) {
        const std::wstring path = dir / name;
        CopyFixture(fixture, path);
        return path;
    }
};

// Counts every look at a file's directory entry (the size) and lets none through.
struct NoSizeLookups {
    int calls = 0;
    ScopedPreset<decltype(kernel32().GetFileAttributesExW)> preset{
        kernel32().GetFileAttributesExW, [this](LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID) -> BOOL {
            ++calls;
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }};
};

// Appends to a file's contents the 31 bytes that set every bit its checksum lacks: after each
// rotation a 1 lands on bit 0 only when that bit is clear, so nothing carries. That reaches
// the fixed point 2147483647; zeros up to the size asked for keep it.
std::string ToFixedPoint(std::string bytes, std::size_t size) {
    std::uint32_t h = Sum(bytes);
    for (int i = 0; i < 31; ++i) {
        h = (h >> 1) | ((h & 1u) << 30);
        const char b = (h & 1u) ? '\0' : '\1';
        h += static_cast<std::uint32_t>(b);
        bytes += b;
    }
    EXPECT_EQ(Sum(bytes), 2147483647u);
    EXPECT_LE(bytes.size(), size);
    bytes.resize(size, '\0');
    return bytes;
}

// The smallest known-good size from which on a file of n bytes fits, that is no parasite size.
std::int32_t GoodSizeFrom(std::size_t n) {
    for (const std::int32_t s : GoodSizeTable())
        if (s >= static_cast<std::int64_t>(n) + 64 && !In(ParasiteSizeTable(), s)) return s;
    ADD_FAILURE() << "no known-good size from " << n;
    return 0;
}

}  // namespace

TEST(FingerprintContent, IsMadeToTheChecksumAsked) {
    for (const std::uint32_t c : {0u, 1u, 522891u, 2144776197u, 2147483647u, 1073741824u})
        EXPECT_EQ(Sum(BytesWithChecksum(2048, c)), c);
}

// ---- known-good and suspicious modules --------------------------------------------------------

TEST(GoodRunningModule, NeedsNoCompanyAListedSizeAndAListedChecksum) {
    Detector d;
    ASSERT_TRUE(In(GoodSizeTable(), 4096) && In(ParasiteSizeTable(), 4096));
    ASSERT_FALSE(In(GoodSizeTable(), 4097));
    // The fixed point of the checksum is a known-good checksum.
    const std::wstring maxed = d.File(L"maxed.dll", std::string(4096, '\xff'));
    EXPECT_TRUE(d.rd.IsGoodRunningModule(maxed));
    EXPECT_FALSE(d.rd.IsSuspiciousRunningModule(maxed));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(maxed));  // a shared size; the checksums tell
    const std::wstring odd = d.File(L"odd.dll", std::string(4097, '\xff'));
    EXPECT_FALSE(d.rd.IsGoodRunningModule(odd));
    EXPECT_TRUE(d.rd.IsSuspiciousRunningModule(odd));
    // A listed size with an unlisted checksum.
    ASSERT_TRUE(In(GoodSizeTable(), 4608));
    const std::wstring zeros = d.File(L"zeros.dll", std::string(4608, '\0'));
    EXPECT_FALSE(d.rd.IsGoodRunningModule(zeros));
    EXPECT_TRUE(d.rd.IsSuspiciousRunningModule(zeros));
    // Size and checksum of two different known-good modules: no pairing.
    const std::wstring mixed = d.File(L"mixed.dll", BytesWithChecksum(5120, 228221));
    EXPECT_TRUE(d.rd.IsGoodRunningModule(mixed));
    const std::wstring mixed2 = d.File(L"mixed2.dll", BytesWithChecksum(13244072, 2146021194));
    EXPECT_TRUE(d.rd.IsGoodRunningModule(mixed2));
    // A missing file has size 0, which no table lists.
    EXPECT_FALSE(d.rd.IsGoodRunningModule(d.dir / L"missing.dll"));
    EXPECT_TRUE(d.rd.IsSuspiciousRunningModule(d.dir / L"missing.dll"));
    EXPECT_TRUE(d.log.Entries().empty());
}

TEST(GoodRunningModule, AFileWithACompanyNameIsNeverKnownGood) {
    Detector d;
    const std::string marked = FixtureBytes(L"fixture_both.dll");
    const std::string bare = FixtureBytes(L"fixture_bare.dll");
    ASSERT_FALSE(marked.empty());
    ASSERT_FALSE(bare.empty());
    // Both grown to a known-good fingerprint; only the one without a maker is known-good.
    const std::wstring withCompany =
        d.File(L"withcompany.dll", ToFixedPoint(marked, static_cast<std::size_t>(GoodSizeFrom(marked.size()))));
    const std::wstring without =
        d.File(L"without.dll", ToFixedPoint(bare, static_cast<std::size_t>(GoodSizeFrom(bare.size()))));
    EXPECT_FALSE(d.rd.IsGoodRunningModule(withCompany));
    EXPECT_FALSE(d.rd.IsSuspiciousRunningModule(withCompany));
    EXPECT_TRUE(d.rd.IsGoodRunningModule(without));
    EXPECT_FALSE(d.rd.IsSuspiciousRunningModule(without));
    // As they are built, only the one without any company name is suspicious.
    EXPECT_FALSE(d.rd.IsSuspiciousRunningModule(Fixture(L"fixture_both.dll")));
    for (const wchar_t* name : {L"fixture_description.dll", L"fixture_emptycompany.dll", L"fixture_product.dll",
                                L"fixture_bare.dll"})
        EXPECT_TRUE(d.rd.IsSuspiciousRunningModule(Fixture(name))) << Narrow(name);
}

TEST(GoodRunningModule, TheSessionManagerAtBootIsKnownGoodByItsPathAlone) {
    TempDir dir;
    TestLog log(dir.Path());
    CFileInfoManager failing;  // never initialised: any lookup of a company name fails
    CRoDoraziva rd;
    rd.Init(log.Logger(), &failing);
    NoSizeLookups sizes;
    EXPECT_TRUE(rd.IsGoodRunningModule(L"\\SystemRoot\\System32\\SMSS.EXE"));
    EXPECT_TRUE(rd.IsGoodRunningModule(L"\\systemroot\\system32\\smss.exe"));
    EXPECT_FALSE(rd.IsSuspiciousRunningModule(L"\\SYSTEMROOT\\SYSTEM32\\Smss.Exe"));
    EXPECT_EQ(sizes.calls, 0);
    EXPECT_TRUE(log.Entries().empty());
    // Anywhere else it is an ordinary file: the failing lookup shows it was asked for.
    EXPECT_FALSE(rd.IsGoodRunningModule(L"C:\\SystemRoot\\System32\\smss.exe"));
    EXPECT_FALSE(rd.IsGoodRunningModule(L"\\SystemRoot\\System32\\smss.exe.bak"));
    EXPECT_EQ(log.Entries().size(), 2u);
}

TEST(GoodRunningModule, OurOwnProgramsAreNeitherSuspiciousNorParasites) {
    Detector d;
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (const std::wstring& path : {std::wstring(self), testing_support::DeliverableFolder() + L"\\Velmora.exe"}) {
        EXPECT_FALSE(d.rd.IsSuspiciousRunningModule(path)) << Narrow(path);
        EXPECT_FALSE(d.rd.IsParasiteRunningModule(path)) << Narrow(path);
        EXPECT_FALSE(d.rd.IsGoodRunningModule(path)) << Narrow(path);  // it names its maker
    }
}

// ---- parasite modules -------------------------------------------------------------------------

TEST(ParasiteRunningModule, AFingerprintNeedsBothTablesButNoPairing) {
    Detector d;
    ASSERT_FALSE(In(ParasiteSizeTable(), 2049));
    ASSERT_FALSE(In(ParasiteChecksumTable(), 7));
    EXPECT_TRUE(d.rd.IsParasiteRunningModule(d.File(L"first.dll", BytesWithChecksum(2048, 522891))));
    EXPECT_TRUE(d.rd.IsParasiteRunningModule(d.File(L"other.dll", BytesWithChecksum(2560, 2144776197))));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.File(L"sizeonly.dll", BytesWithChecksum(2048, 7))));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.File(L"sumonly.dll", BytesWithChecksum(2049, 522891))));
    // A shared size with a parasite checksum is a parasite and not known-good.
    const std::wstring shared = d.File(L"shared.dll", BytesWithChecksum(4096, 522891));
    EXPECT_TRUE(d.rd.IsParasiteRunningModule(shared));
    EXPECT_FALSE(d.rd.IsGoodRunningModule(shared));
    EXPECT_TRUE(d.rd.IsSuspiciousRunningModule(shared));
    // A maker's name does not save a file from the name rules.
    EXPECT_TRUE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_both.dll", L"update.tmp.dll")));
    EXPECT_TRUE(d.log.Entries().empty());
}

TEST(ParasiteRunningModule, NameRulesOf32ExeAndSeDllAskForTheMaker) {
    Detector d;
    const std::wstring plain = d.Copy(L"fixture_description.dll", L"svc32.exe");
    ASSERT_FALSE(In(ParasiteSizeTable(), FileSizeFromFullFileName(plain)));
    EXPECT_TRUE(d.rd.IsParasiteRunningModule(plain));
    EXPECT_TRUE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_bare.dll", L"LOADER32.EXE")));
    ::CreateDirectoryW((d.dir / L"maker").c_str(), nullptr);
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_both.dll", L"maker\\svc32.exe")));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.dir / L"gone\\svc32.exe"));  // size 0
    EXPECT_TRUE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_description.dll", L"SE.DLL")));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_description.dll", L"base.dll")));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_both.dll", L"maker\\se.dll")));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_description.dll", L"svc32.dll")));
    EXPECT_FALSE(d.rd.IsParasiteRunningModule(d.Copy(L"fixture_description.dll", L"plain.exe")));
    EXPECT_TRUE(d.log.Entries().empty());
}

TEST(ParasiteRunningModule, TemporaryNamesAndStreamsAreDecidedWithoutTouchingAFile) {
    TempDir dir;
    TestLog log(dir.Path());
    CFileInfoManager failing;  // never initialised: asking it for a maker would fail
    CRoDoraziva rd;
    rd.Init(log.Logger(), &failing);
    NoSizeLookups sizes;
    EXPECT_TRUE(rd.IsParasiteRunningModule(L"c:\\windows\\temp\\setup.TMP.exe"));
    EXPECT_TRUE(rd.IsParasiteRunningModule(L"c:\\windows\\temp\\~x.tmp"));
    EXPECT_TRUE(rd.IsParasiteRunningModule(L"c:\\windows\\system32:hidden.dll"));
    EXPECT_TRUE(rd.IsParasiteRunningModule(L"x:y.dll"));  // no "\" at all
    EXPECT_TRUE(rd.IsParasiteRunningModule(L"setup.tmp32.exe"));
    EXPECT_EQ(sizes.calls, 0);
    EXPECT_TRUE(log.Entries().empty());
    // A ".tmp" in a folder decides nothing: the size is asked for, and a missing file is no parasite.
    EXPECT_FALSE(rd.IsParasiteRunningModule(L"c:\\x.tmp\\run.exe"));
    EXPECT_FALSE(rd.IsParasiteRunningModule(L"c:\\x\\svc32.exe"));  // size 0 ends it before the name rule
    EXPECT_EQ(sizes.calls, 2);
    EXPECT_FALSE(rd.IsParasiteRunningModule(L""));
    EXPECT_TRUE(log.Entries().empty());
}

// ---- Browser Helper Objects ---------------------------------------------------------------

TEST(BrowserHelperObject, EveryFileWithoutAMakerIsAParasiteUnlessExempt) {
    Detector d;
    const std::wstring folder = d.dir / L"Program Files\\Adobe\\";
    const std::wstring favClient = folder + L"AcroIEFavClient.dll";
    EXPECT_TRUE(d.rd.IsSuspiciousBHO(favClient));
    EXPECT_FALSE(d.rd.IsParasiteBHO(favClient));
    for (const std::wstring& exempt :
         {folder + L"AcroIEHelper.ocx", folder + L"acroiehelper.OCX", d.dir / L"PCShared\\NMIEHELP.dll",
          d.dir / L"pcshared\\nmiehelp.dll", std::wstring(L"\\PCSHARED\\NMIEHELP.DLL")}) {
        EXPECT_FALSE(d.rd.IsSuspiciousBHO(exempt)) << Narrow(exempt);
        EXPECT_FALSE(d.rd.IsParasiteBHO(exempt)) << Narrow(exempt);
    }
    // Close is not enough: the names are exempt only after a "\".
    for (const std::wstring& close :
         {folder + L"xAcroIEHelper.ocx", folder + L"AcroIEHelper.ocx.bak", d.dir / L"nmiehelp.dll",
          folder + L"myacroiefavclient.dll", std::wstring(L"x"), std::wstring()}) {
        EXPECT_TRUE(d.rd.IsSuspiciousBHO(close)) << Narrow(close);
        EXPECT_TRUE(d.rd.IsParasiteBHO(close)) << Narrow(close);
    }
    // Real files: the fingerprint plays no part, only the maker.
    const std::wstring known = d.File(L"known.dll", std::string(4096, '\xff'));
    ASSERT_TRUE(d.rd.IsGoodRunningModule(known));
    EXPECT_TRUE(d.rd.IsParasiteBHO(known));
    EXPECT_TRUE(d.rd.IsParasiteBHO(d.Copy(L"fixture_emptycompany.dll", L"helper.dll")));
    const std::wstring marked = d.Copy(L"fixture_both.dll", L"marked.dll");
    EXPECT_FALSE(d.rd.IsSuspiciousBHO(marked));
    EXPECT_FALSE(d.rd.IsParasiteBHO(marked));
    EXPECT_TRUE(d.log.Entries().empty());
}

// ---- failures -------------------------------------------------------------------------------

TEST(DetectorFailures, AFailingLookupIsLoggedUnderTheTestsNameAndAnswersFalse) {
    TempDir dir;
    TestLog log(dir.Path());
    CFileInfoManager failing;
    CRoDoraziva rd;
    rd.Init(log.Logger(), &failing);
    const std::wstring file = dir / L"svc32.exe";
    CopyFixture(L"fixture_description.dll", file);

    EXPECT_FALSE(rd.IsSuspiciousRunningModule(file));
    EXPECT_FALSE(rd.IsGoodRunningModule(file));
    EXPECT_FALSE(rd.IsSuspiciousBHO(file));
    EXPECT_FALSE(rd.IsParasiteBHO(file));
    EXPECT_FALSE(rd.IsParasiteRunningModule(file));  // reaches the "32.exe" rule
    const auto entries = log.Entries();
    const std::vector<std::wstring> sources{
        L"CRoDoraziva.IsGoodRunningModule", L"CRoDoraziva.IsSuspiciousRunningModule", L"CRoDoraziva.IsGoodRunningModule",
        L"CRoDoraziva.IsSuspiciousBHO",     L"CRoDoraziva.IsParasiteBHO",              L"CRoDoraziva.IsParasiteRunningModule"};
    ASSERT_EQ(entries.size(), sources.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].source, sources[i]);
        EXPECT_EQ(entries[i].level, L"0");
        EXPECT_EQ(entries[i].number, L"91");
        EXPECT_FALSE(entries[i].text.empty());
    }
    // Decisions taken before the lookup stand.
    EXPECT_TRUE(rd.IsParasiteRunningModule(dir / L"setup.tmp.exe"));
    EXPECT_FALSE(rd.IsParasiteRunningModule(dir / L"gone32.exe"));  // size 0: no lookup
    EXPECT_EQ(log.Entries().size(), sources.size());
}

TEST(DetectorFailures, ADetectorWithoutInitAnswersFalseAndDoesNotFail) {
    CRoDoraziva rd;
    TempDir dir;
    const std::wstring file = dir / L"svc32.exe";
    CopyFixture(L"fixture_description.dll", file);
    EXPECT_FALSE(rd.IsParasiteBHO(file));
    EXPECT_FALSE(rd.IsSuspiciousBHO(file));
    EXPECT_FALSE(rd.IsSuspiciousRunningModule(file));
    EXPECT_FALSE(rd.IsParasiteRunningModule(file));
    EXPECT_TRUE(rd.IsParasiteRunningModule(L"c:\\a\\b.tmp"));
}
