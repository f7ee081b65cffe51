// The zip archive wrapper and its library: the options record, the name slots and the
// callbacks as the wrapper hands them over, and real archives read back by Python's zipfile
// and `unzip -t`, including the deletion of entries from archives another tool wrote.
#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "SupportTestSupport.h"
#include "TestSupport.h"
#include "support/Zip.h"
#include "support/ZipPlan.h"
#include "tessel/Error.h"

namespace {

using support_testing::CheckArchive;
using support_testing::UnixPath;
using testing_support::Narrow;
using velmora::cZip;
namespace zip = velmora::zip;

LONG FieldAt(const cZip& z, std::size_t offset) {
    LONG v;
    std::memcpy(&v, reinterpret_cast<const char*>(&z.Options()) + offset, sizeof v);
    return v;
}

TEST(ZipRecord, NewObjectDefaults) {
    cZip z;
    EXPECT_FALSE(z.StoreDirectories());
    EXPECT_FALSE(z.StoreFolderNames());
    EXPECT_FALSE(z.RecurseSubDirs());
    EXPECT_FALSE(z.Encrypt());
    EXPECT_FALSE(z.AllowAppend());
    EXPECT_EQ(z.MessageLevel(), 2);
    EXPECT_EQ(z.FileSpecCount(), 0);
    zip::ZipOptions expected;
    std::memset(&expected, 0, sizeof expected);
    expected.NoDirectoryEntries = 1;
    expected.JunkFolderNames = 1;
    EXPECT_EQ(std::memcmp(&z.Options(), &expected, sizeof expected), 0);
#if !defined(_WIN64)
    // The library's own offsets: 1 at 36 and 64, 0 in every other byte of the 128.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&z.Options());
    for (std::size_t i = 0; i < 128; ++i) EXPECT_EQ(bytes[i], (i == 36 || i == 64) ? 1 : 0) << "byte " << i;
#endif
}

TEST(ZipRecord, PropertiesAndFilePatterns) {
    struct Row {
        const char* name;
        void (*set)(cZip&, bool);
        bool (*get)(const cZip&);
        std::size_t offset;
        LONG whenTrue, whenFalse;
    };
#define ROW(property, field, t, f)                                                                  \
    Row{#property, [](cZip& z, bool b) { z.property(b); }, [](const cZip& z) { return z.property(); }, \
        offsetof(zip::ZipOptions, field), t, f}
    const Row rows[] = {
        ROW(Encrypt, Encrypt, 1, 0), ROW(IncludeSystemAndHiddenFiles, IncludeSystemAndHidden, 1, 0),
        ROW(StoreVolumeLabel, VolumeLabel, 1, 0), ROW(StoreDirectories, NoDirectoryEntries, 0, 1),
        ROW(StoreFolderNames, JunkFolderNames, 0, 1), ROW(RecurseSubDirs, Recurse, 2, 0),
        ROW(UpdateOnlyIfNewer, UpdateIfNewer, 1, 0), ROW(FreshenFiles, FreshenOnly, 1, 0),
        ROW(ConvertCRLFToLF, CrlfToLf, 1, 0), ROW(ConvertLFToCRLF, LfToCrlf, 1, 0), ROW(AllowAppend, AllowAppend, 1, 0),
    };
#undef ROW
    for (const Row& r : rows) {
        cZip z;
        r.set(z, true);
        EXPECT_EQ(FieldAt(z, r.offset), r.whenTrue) << r.name;
        EXPECT_TRUE(r.get(z)) << r.name;
        r.set(z, false);
        EXPECT_EQ(FieldAt(z, r.offset), r.whenFalse) << r.name;
        EXPECT_FALSE(r.get(z)) << r.name;
    }
    cZip z;
    z.MessageLevel(5);
    EXPECT_EQ(z.MessageLevel(), 2);
    z.MessageLevel(0);
    EXPECT_EQ(z.MessageLevel(), 0);
    z.MessageLevel(1);
    EXPECT_EQ(z.MessageLevel(), 1);
    EXPECT_EQ(z.Options().Verbose + z.Options().Quiet, 1);
    z.BasePath(L"c:\\base");
    ASSERT_NE(z.Options().RootFolder, nullptr);
    EXPECT_STREQ(z.Options().RootFolder, "c:\\base");
    z.AddFileSpec(L"a.txt");
    z.AddFileSpec(L"b.txt");
    EXPECT_EQ(z.FileSpec(2), L"b.txt");
    EXPECT_THROW(z.FileSpec(3), tessel::Error);
    z.ClearFileSpecs();
    EXPECT_EQ(z.FileSpecCount(), 0);
}

// What the library is handed, seen by putting a recorder in its place.
class ZipHandOver : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = velmora::ZipLibrary();
        velmora::ZipLibrary().Init = [this](zip::ZipCallbacks* c) {
            ++inits;
            callbacks = *c;
            return 1L;
        };
        velmora::ZipLibrary().SetOptions = [this](zip::ZipOptions* o) {
            ++options;
            deleteFlag = o->DeleteEntries;
            return 1L;
        };
        velmora::ZipLibrary().Archive = [this](LONG count, const char* archive, zip::ZipNames* n) {
            ++archives;
            this->count = count;
            this->archive = archive;
            slots.clear();
            for (std::size_t i = 0; i < zip::kNameSlots; ++i) slots.push_back(n->Slot[i] ? n->Slot[i] : "<null>");
            return result;
        };
    }
    void TearDown() override { velmora::ZipLibrary() = saved_; }

    velmora::ZipLibraryCalls saved_;
    int inits = 0, options = 0, archives = 0;
    LONG count = -1, deleteFlag = -1, result = 0;
    std::string archive;
    std::vector<std::string> slots;
    zip::ZipCallbacks callbacks{};
};

TEST_F(ZipHandOver, SpecsFillTheSlotsAndNoMore) {
    cZip z;
    z.ZipFile(L"c:\\out.zip");
    z.AddFileSpec(L"c:\\in.txt");
    z.Zip();
    EXPECT_EQ(archives, 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(archive, "c:\\out.zip");
    ASSERT_EQ(slots.size(), zip::kNameSlots);
    EXPECT_EQ(slots[0], "c:\\in.txt");
    EXPECT_EQ(slots[1], "");
    for (std::size_t i = 2; i < slots.size(); ++i) ASSERT_EQ(slots[i], "<null>") << "slot " << i;
    EXPECT_EQ(deleteFlag, 0);
    EXPECT_EQ(callbacks.Print, &velmora::mZip::ZipPrintCallback);
    EXPECT_EQ(callbacks.Password, &velmora::mZip::ZipPasswordCallback);
    EXPECT_EQ(callbacks.Comment, &velmora::mZip::ZipCommentCallback);
    EXPECT_EQ(callbacks.Service, &velmora::mZip::ZipServiceCallback);
    z.ClearFileSpecs();
    for (int i = 0; i < 1023; ++i) z.AddFileSpec(L"f" + std::to_wstring(i));
    z.Zip();
    EXPECT_EQ(count, 1023);
    EXPECT_EQ(slots[1022], "f1022");
    EXPECT_EQ(slots[1023], "");
    z.AddFileSpec(L"one too many");
    archives = 0;
    try {
        z.Zip();
        ADD_FAILURE() << "1024 file names were accepted";
    } catch (const tessel::Error& e) {
        EXPECT_EQ(e.Number(), tessel::kSubscriptOutOfRange);
        EXPECT_NE(e.Description().find(L"1023"), std::wstring::npos) << Narrow(e.Description());
    }
    EXPECT_EQ(archives, 0);
    EXPECT_EQ(inits, 3);  // callbacks and options were set before the names were refused
    EXPECT_EQ(options, 3);
}

TEST_F(ZipHandOver, DeleteSetsItsFlagForOneRunOnly) {
    cZip z;
    z.ZipFile(L"c:\\out.zip");
    z.AddFileSpec(L"x");
    result = 12;
    z.Delete();
    EXPECT_EQ(deleteFlag, 1);
    EXPECT_EQ(z.Options().DeleteEntries, 0);
    velmora::ZipLibrary().Archive = [](LONG, const char*, zip::ZipNames*) -> LONG { throw tessel::Error(5, L"failed"); };
    EXPECT_THROW(z.Delete(), tessel::Error);
    EXPECT_EQ(z.Options().DeleteEntries, 0);
    velmora::ZipLibrary().Archive = [this](LONG, const char*, zip::ZipNames*) { return 0L; };
    z.Zip();
    EXPECT_EQ(deleteFlag, 0);
}

// The plan of a run's entries, without files: which old entries stay where they are, which are
// written anew from a file, which files are added, and when there is nothing to do.
TEST(ZipPlan, EntriesOfTheNewArchive) {
    using Names = std::vector<zip::PlanName>;
    using Steps = std::vector<zip::PlanStep>;
    constexpr zip::PlanStep kNew0{-1, 0}, kNew1{-1, 1}, kOld0{0, -1}, kOld1{1, -1}, kOld2{2, -1};
    const Names abc = {{L"a.txt", 100}, {L"sub/B.txt", 100}, {L"sub/c.bin", 100}};
    const struct {
        const char* what;
        Names old, sources;
        zip::PlanRequest request;
        Steps steps;
        std::vector<int> deleted;
        bool nothingToDo;
    } rows[] = {
        {"new archive", {}, {{L"x", 1}, {L"y/", 1}}, {}, {kNew0, kNew1}, {}, false},
        {"no file", abc, {}, {}, {kOld0, kOld1, kOld2}, {}, true},
        {"replaced in place, case and separator aside", abc, {{L"SUB\\b.txt", 50}, {L"d", 1}}, {},
         {kOld0, kNew0, kOld2, kNew1}, {}, false},
        {"older file when only newer ones count", abc, {{L"a.txt", 100}, {L"d", 1}}, {false, true, false, {}},
         {kOld0, kOld1, kOld2, kNew1}, {}, false},
        {"newer file when only newer ones count", abc, {{L"a.txt", 101}}, {false, true, false, {}},
         {kNew0, kOld1, kOld2}, {}, false},
        {"freshen adds nothing new", abc, {{L"d", 500}, {L"sub/c.bin", 200}}, {false, false, true, {}},
         {kOld0, kOld1, kNew1}, {}, false},
        {"freshen with nothing newer", abc, {{L"a.txt", 99}, {L"d", 500}}, {false, false, true, {}},
         {kOld0, kOld1, kOld2}, {}, true},
        {"one file for the first of two same names", {{L"a", 1}, {L"A", 1}}, {{L"a", 2}}, {}, {kNew0, kOld1}, {},
         false},
        {"deleting by pattern", abc, {}, {true, false, false, {L"SUB\\*"}}, {kOld0}, {1, 2}, false},
        {"deleting by two names", abc, {}, {true, false, false, {L"c.bin", L"A.TXT"}}, {kOld1, kOld2}, {0}, false},
        {"deleting nothing matched", abc, {}, {true, false, false, {L"*.doc"}}, {kOld0, kOld1, kOld2}, {}, true},
    };
    for (const auto& r : rows) {
        const zip::ArchivePlan plan = zip::PlanArchive(r.old, r.sources, r.request);
        EXPECT_EQ(plan.steps, r.steps) << r.what;
        EXPECT_EQ(plan.deleted, r.deleted) << r.what;
        EXPECT_EQ(plan.nothingToDo, r.nothingToDo) << r.what;
    }
    EXPECT_EQ(zip::FoldName(L"Sub\\Dir/FILE.Txt"), L"sub/dir/file.txt");
}

TEST(ZipCallbacks, PrintTurnsMessagesIntoProgress) {
    cZip z;
    std::vector<std::wstring> got;
    z.Progress = [&](long n, const std::wstring& m) {
        EXPECT_EQ(n, 1);
        got.push_back(m);
    };
    velmora::mZip::BeginRun(z);
    const std::string longMessage(32000, 'x');
    struct Row {
        const char* text;
        ULONG length;
    } rows[] = {{"a", 1}, {"ab", 2}, {longMessage.c_str(), 32000}, {"/root/folder/file.txt", 21}};
    for (const auto& r : rows) EXPECT_EQ(velmora::mZip::ZipPrintCallback(r.text, r.length), 0);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], L"ab");
    EXPECT_EQ(got[1], L"/root\\folder\\file.txt");
}

TEST(ZipCallbacks, PasswordRequestsAndTheirBuffer) {
    cZip z;
    velmora::mZip::BeginRun(z);
    char buffer[zip::kPasswordBuffer];
    std::memset(buffer, 0xBD, sizeof buffer);
    EXPECT_EQ(velmora::mZip::ZipPasswordCallback(buffer, 256, 0, 0), 1);  // no listener: no password
    int asked = 0;
    z.PasswordRequest = [&](std::wstring& p, bool&) {
        ++asked;
        p = std::wstring(300, L'p');
    };
    EXPECT_EQ(velmora::mZip::ZipPasswordCallback(buffer, 256, 0, 0), 1);  // same run: not asked again
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xBD);
    velmora::mZip::BeginRun(z);
    EXPECT_EQ(velmora::mZip::ZipPasswordCallback(buffer, 256, 0, 0), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(std::string(buffer, 254), std::string(254, 'p'));
    EXPECT_EQ(buffer[254], '\0');  // the terminator is written
    EXPECT_EQ(static_cast<unsigned char>(buffer[255]), 0xBD);
    z.PasswordRequest = [&](std::wstring& p, bool& cancel) {
        p = L"word";
        cancel = true;
    };
    velmora::mZip::BeginRun(z);
    EXPECT_EQ(velmora::mZip::ZipPasswordCallback(buffer, 256, 0, 0), 1);
}

std::string CrcHex(const std::string& data) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    return buf;
}

std::string EntryLine(const std::string& name, const std::string& data, int method, bool encrypted = false) {
    return "entry " + name + " " + std::to_string(data.size()) + " " + CrcHex(data) + " " + std::to_string(method) + " " +
           (encrypted ? "enc" : "plain");
}

std::string LogText(std::size_t bytes) {
    std::string text;
    for (int i = 0; text.size() < bytes; ++i)
        text += "12/9/2026 4:05:0" + std::to_string(i % 10) + " AM\t5\t0\tCZiRaraviz.Check\tline " + std::to_string(i) + "\r\n";
    return text;
}

std::string Binary(std::size_t bytes) {
    std::string b(bytes, '\0');
    std::uint32_t x = 2463534242u;
    for (auto& c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return b;
}

class ZipArchives : public ::testing::Test {
protected:
    testing_support::TempDir dir_;
    std::wstring check_ = dir_ / L"check.txt";
};

TEST_F(ZipArchives, SeveralFilesUnderTheirBareNames) {
    const std::string notes = LogText(300000), data = Binary(70000), inner = "inner file\n";
    testing_support::WriteBytes(dir_ / L"notes.txt", notes);
    testing_support::WriteBytes(dir_ / L"data.bin", data);
    testing_support::WriteBytes(dir_ / L"empty.txt", "");
    ::CreateDirectoryW((dir_ / L"\x043F\x0430\x043F\x043A\x0430").c_str(), nullptr);  // a folder the code page may lack
    testing_support::WriteBytes(dir_ / L"\x043F\x0430\x043F\x043A\x0430\\inner.txt", inner);
    cZip z;
    std::vector<std::wstring> progress;
    z.Progress = [&](long, const std::wstring& m) { progress.push_back(m); };
    z.ZipFile(dir_ / L"several.zip");
    for (const wchar_t* name : {L"notes.txt", L"data.bin", L"empty.txt", L"\x043F\x0430\x043F\x043A\x0430\\inner.txt"})
        z.AddFileSpec(dir_ / name);
    z.Zip();
    const auto lines = CheckArchive(dir_ / L"several.zip", check_);
    const std::vector<std::string> expected = {
        "testzip ok", "comment ", EntryLine("notes.txt", notes, 8), EntryLine("data.bin", data, 8),
        EntryLine("empty.txt", "", 0), EntryLine("inner.txt", inner, 8)};
    ASSERT_GE(lines.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]);
    EXPECT_EQ(lines[expected.size()].substr(0, 8), "unzip 0 ") << lines[expected.size()];
    ASSERT_FALSE(progress.empty());
    EXPECT_NE(progress[0].find(L"adding: notes.txt (deflated"), std::wstring::npos);
}

TEST_F(ZipArchives, FolderNamesRecursionAndLineEnds) {
    ::CreateDirectoryW((dir_ / L"tree").c_str(), nullptr);
    ::CreateDirectoryW((dir_ / L"tree\\deep").c_str(), nullptr);
    testing_support::WriteBytes(dir_ / L"tree\\a.log", "one\r\ntwo\r\n");
    testing_support::WriteBytes(dir_ / L"tree\\deep\\b.log", "three\r\n");
    testing_support::WriteBytes(dir_ / L"tree\\deep\\c.bin", std::string("x\r\n\0", 4));
    cZip z;
    z.BasePath(dir_.Path());
    z.ZipFile(dir_ / L"tree.zip");
    z.StoreFolderNames(true);
    z.StoreDirectories(true);
    z.RecurseSubDirs(true);
    z.ConvertCRLFToLF(true);
    z.MessageLevel(1);
    z.AddFileSpec(L"tree");
    wchar_t cwd[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    z.Zip();
    wchar_t moved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, moved);
    ::SetCurrentDirectoryW(cwd);
    EXPECT_EQ(tessel::SystemUtility::Lower(moved), tessel::SystemUtility::Lower(dir_.Path()));
    const auto lines = CheckArchive(dir_ / L"tree.zip", check_);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "testzip ok");
    std::vector<std::string> entries;
    for (const auto& l : lines)
        if (l.rfind("entry ", 0) == 0) entries.push_back(l);
    std::sort(entries.begin(), entries.end());
    // A file with a NUL byte is no text: its line ends stay.
    std::vector<std::string> expected = {EntryLine("tree/", "", 0), EntryLine("tree/a.log", "one\ntwo\n", 8),
                                         EntryLine("tree/deep/", "", 0), EntryLine("tree/deep/b.log", "three\n", 8),
                                         EntryLine("tree/deep/c.bin", std::string("x\r\n\0", 4), 8)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(lines.back().substr(0, 8), "unzip 0 ") << lines.back();
}

TEST_F(ZipArchives, EncryptedWithThePasswordTheListenerGives) {
    const std::string secret = LogText(5000);
    testing_support::WriteBytes(dir_ / L"secret.txt", secret);
    cZip z;
    z.ZipFile(dir_ / L"locked.zip");
    z.Encrypt(true);
    z.AddFileSpec(dir_ / L"secret.txt");
    z.Zip();  // nobody gives a password: no archive
    EXPECT_FALSE(support_testing::Exists(dir_ / L"locked.zip"));
    z.PasswordRequest = [](std::wstring& p, bool&) { p = L"  s3cret  "; };
    z.Zip();
    const auto lines = CheckArchive(dir_ / L"locked.zip", check_, "s3cret");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "testzip ok");
    EXPECT_EQ(lines[2], EntryLine("secret.txt", secret, 8, true));
    EXPECT_EQ(lines[3].substr(0, 8), "unzip 0 ") << lines[3];
}

// Archives that Python's zipfile wrote (with and without data descriptors): named entries
// go, everything else stays as it was, the archive comment included.
TEST_F(ZipArchives, DeleteFromArchivesOtherToolsWrote) {
    std::string a;
    for (int i = 0; i < 50; ++i) a += "first line\r\nsecond line\r\n";
    std::string c;
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 256; ++i) c += static_cast<char>(i);
    for (const char* descriptors : {"0", "1"}) {
        const std::wstring archive = dir_ / (std::wstring(L"other") + (descriptors[0] == '1' ? L"1" : L"0") + L".zip");
        const auto made = support_testing::RunCheck({"make", UnixPath(archive), descriptors}, dir_ / L"made.txt");
        ASSERT_EQ(made, std::vector<std::string>{"made"});
        const std::string before = testing_support::ReadBytes(archive);

        cZip z;
        z.ZipFile(archive);
        z.AddFileSpec(L"no-such-entry.txt");
        z.Delete();
        EXPECT_EQ(testing_support::ReadBytes(archive), before) << "nothing matched, nothing changed";

        z.ClearFileSpecs();
        z.AddFileSpec(L"b.txt");
        z.AddFileSpec(L"SUB\\d.txt");
        z.Delete();
        const auto lines = CheckArchive(archive, check_);
        ASSERT_GE(lines.size(), 5u) << descriptors;
        EXPECT_EQ(lines[0], "testzip ok") << descriptors;
        EXPECT_EQ(lines[1], "comment made by another tool") << descriptors;
        EXPECT_EQ(lines[2], EntryLine("a.txt", a, 8)) << descriptors;
        EXPECT_EQ(lines[3], EntryLine("sub/c.bin", c, 0)) << descriptors;
        EXPECT_EQ(lines[4].substr(0, 8), "unzip 0 ") << lines[4];

        // Adding to it keeps what is there and replaces an entry of the same name.
        testing_support::WriteBytes(dir_ / L"a.txt", "replaced\n");
        z.ClearFileSpecs();
        z.AddFileSpec(dir_ / L"a.txt");
        z.Zip();
        const auto after = CheckArchive(archive, check_);
        ASSERT_GE(after.size(), 5u);
        EXPECT_EQ(after[2], EntryLine("a.txt", "replaced\n", 8));
        EXPECT_EQ(after[3], EntryLine("sub/c.bin", c, 0));
        EXPECT_EQ(after[4].substr(0, 8), "unzip 0 ") << after[4];
    }
}

TEST_F(ZipArchives, ABrokenArchiveIsLeftAsItWas) {
    testing_support::WriteBytes(dir_ / L"broken.zip", "PK\x03\x04 not an archive at all");
    testing_support::WriteBytes(dir_ / L"f.txt", "f");
    cZip z;
    z.ZipFile(dir_ / L"broken.zip");
    z.AddFileSpec(dir_ / L"f.txt");
    z.Zip();
    EXPECT_EQ(testing_support::ReadBytes(dir_ / L"broken.zip"), "PK\x03\x04 not an archive at all");
}

}  // namespace
