// The process list: the real processes of the prefix, and scripted answers of the platform
// for the cases a quiet test machine never shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "ProcessTestSupport.h"
#include "TestSupport.h"
#include "inspection/EnumProcesses.h"
#include "inspection/ProcessManager.h"
#include "tessel/Api.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

using namespace velmora;
using namespace process_testing;
using tessel::api::kernel32;
using tessel::api::psapi;
using tessel::api::ScopedPreset;
using testing_support::Narrow;
using testing_support::TempDir;

namespace {

constexpr DWORD kWin98 = 0xC0000A04;

bool SameText(const std::wstring& a, const std::wstring& b) {
    return tessel::SystemUtility::Upper(a) == tessel::SystemUtility::Upper(b);
}

const tessel::Node* FindProcess(const tessel::NodeList& list, const std::wstring& image) {
    for (const tessel::Node& node : list)
        if (SameText(node.Id, image)) return &node;
    return nullptr;
}

std::vector<std::wstring> Ids(const tessel::NodeList& list) {
    std::vector<std::wstring> ids;
    for (const tessel::Node& node : list) ids.push_back(node.Id);
    return ids;
}

bool HasChild(const tessel::Node& node, const std::wstring& path) {
    for (const tessel::Node& child : node.Nodes)
        if (SameText(child.Id, path)) return true;
    return false;
}

std::wstring BaseName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// A library of the test's own, loaded into the test process for the life of the object.
class LoadedCopy {
public:
    explicit LoadedCopy(const std::wstring& folder)
        : path_(CopyFixture(FixtureDllPath(), folder, L"vlm_enum", L".dll")), module_(::LoadLibraryW(path_.c_str())) {
        EXPECT_TRUE(module_) << Narrow(path_);
    }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    tessel::UniqueModule module_;
};

// A scripted process-status interface: one process whose modules the test describes. The
// process handle is a real handle to the test process, so that closing it is harmless.
struct ScriptedModules {
    static constexpr DWORD kId = 0x4242;
    std::size_t firstCount = 3;    // modules the first request sees
    std::size_t secondCount = 3;   // modules the second request sees
    bool secondFails = false;
    std::map<std::uintptr_t, std::wstring> names;  // by handle; missing: the name cannot be read
    std::vector<DWORD> requestSizes;
    std::vector<HMODULE> asked;
    std::set<std::uintptr_t> written;
    int calls = 0;

    static HMODULE Handle(std::size_t i) { return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x10000 + i * 0x100)); }

    ScopedPreset<decltype(psapi().EnumProcesses)> ids{psapi().EnumProcesses, [](DWORD* buffer, DWORD cb, DWORD* returned) {
        if (cb >= sizeof(DWORD)) {
            buffer[0] = kId;
            *returned = sizeof(DWORD);
        }
        return TRUE;
    }};
    ScopedPreset<decltype(kernel32().OpenProcess)> open{kernel32().OpenProcess, [](DWORD, BOOL, DWORD id) -> HANDLE {
        if (id != kId) return nullptr;
        return kernel32().OpenProcess.Real(SYNCHRONIZE, FALSE, ::GetCurrentProcessId());
    }};
    ScopedPreset<decltype(psapi().EnumProcessModules)> modules{
        psapi().EnumProcessModules, [this](HANDLE, HMODULE* table, DWORD cb, LPDWORD needed) -> BOOL {
            requestSizes.push_back(cb);
            const std::size_t count = calls++ == 0 ? firstCount : secondCount;
            if (calls == 2 && secondFails) return FALSE;
            for (std::size_t i = 0; i < count && (i + 1) * sizeof(HMODULE) <= cb; ++i) {
                table[i] = Handle(i);
                written.insert(reinterpret_cast<std::uintptr_t>(Handle(i)));
            }
            *needed = static_cast<DWORD>(count * sizeof(HMODULE));
            return TRUE;
        }};
    // The name as the system gives it: cut to the buffer with a terminating NUL, or, as the
    // earliest systems do, filling the buffer without one and returning its size.
    bool withoutNulWhenCut = false;
    std::map<std::uintptr_t, std::vector<DWORD>> sizes;
    ScopedPreset<decltype(psapi().GetModuleFileNameExW)> name{
        psapi().GetModuleFileNameExW, [this](HANDLE, HMODULE module, LPWSTR buffer, DWORD size) -> DWORD {
            asked.push_back(module);
            sizes[reinterpret_cast<std::uintptr_t>(module)].push_back(size);
            auto it = names.find(reinterpret_cast<std::uintptr_t>(module));
            if (it == names.end()) return 0;
            const DWORD length = static_cast<DWORD>(it->second.size());
            if (withoutNulWhenCut && length >= size) {
                std::copy(it->second.begin(), it->second.begin() + size, buffer);
                return size;
            }
            const DWORD n = std::min<DWORD>(length, size - 1);
            std::copy(it->second.begin(), it->second.begin() + n, buffer);
            buffer[n] = L'\0';
            return n;
        }};

    void NameAll(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            names[reinterpret_cast<std::uintptr_t>(Handle(i))] = L"C:\\scripted\\module" + std::to_wstring(i) + L".dll";
    }
    bool OnlyWrittenHandlesAsked() const {
        for (HMODULE m : asked)
            if (!written.count(reinterpret_cast<std::uintptr_t>(m))) return false;
        return true;
    }
};

}  // namespace

TEST(TrimNull, CutsAtTheFirstNul) {
    EXPECT_EQ(TrimNull(std::wstring(L"abc\0def", 7)), L"abc");
    EXPECT_EQ(TrimNull(L"abc"), L"abc");
    EXPECT_EQ(TrimNull(std::wstring(L"\0abc", 4)), L"");
    EXPECT_EQ(TrimNull(L""), L"");
    EXPECT_EQ(TrimNull(std::wstring(L"\x17e\x6587\0\0", 4)), L"\x17e\x6587");
}

TEST(EnumProcessesNT, ListsTheTestProcessWithItsLibraryButNotItsOwnExecutable) {
    TempDir dir;
    LoadedCopy library(dir.Path());
    const tessel::NodeList list = EnumProcessesNT();
    const tessel::Node* self = FindProcess(list, OwnProgramPath());
    ASSERT_NE(self, nullptr) << "the test process is not listed";
    EXPECT_TRUE(HasChild(*self, library.Path()));
    EXPECT_FALSE(HasChild(*self, OwnProgramPath()));
    EXPECT_TRUE(self->Nodes.Count() >= 3);  // ntdll, kernel32 and the library at least
    for (const tessel::Node& process : list) {
        EXPECT_EQ(process.params.Count(), 0u);
        for (const tessel::Node& module : process.Nodes) {
            EXPECT_FALSE(tessel::text::TrimBlanks(module.Id).empty()) << "a blank module name under " << Narrow(process.Id);
            EXPECT_EQ(module.Nodes.Count(), 0u);
        }
    }
}

TEST(EnumProcessesNT, ListsAChildProcessWithTheLibraryItLoaded) {
    TempDir dir;
    const std::wstring holderExe = CopyFixture(HolderPath(), dir.Path(), L"vlm_holder", L".exe");
    const std::wstring dll = CopyFixture(FixtureDllPath(), dir.Path(), L"vlm_child", L".dll");
    Child holder = StartHolder(L"load", dll, holderExe);
    const tessel::NodeList list = EnumProcessesNT();
    const tessel::Node* child = FindProcess(list, holderExe);
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(HasChild(*child, dll));
    EXPECT_FALSE(HasChild(*child, holderExe));
    // Nobody else has the library.
    for (const tessel::Node& process : list)
        if (&process != child) {
            EXPECT_FALSE(HasChild(process, dll)) << Narrow(process.Id);
        }
}

TEST(EnumProcessesNT, AProcessWithMoreThan256ModulesIsListedInFull) {
    TempDir dir;
    std::vector<std::unique_ptr<LoadedCopy>> libraries;
    for (int i = 0; i < 300; ++i) libraries.push_back(std::make_unique<LoadedCopy>(dir.Path()));
    const tessel::NodeList list = EnumProcessesNT();
    const tessel::Node* self = FindProcess(list, OwnProgramPath());
    ASSERT_NE(self, nullptr);
    EXPECT_GT(self->Nodes.Count(), 300u);
    for (const auto& library : libraries) EXPECT_TRUE(HasChild(*self, library->Path())) << Narrow(library->Path());
}

TEST(EnumProcs, GivesTheTreeOfTheRunningFamily) {
    TempDir dir;
    LoadedCopy library(dir.Path());
    CProcessManager manager;  // no Init: the list needs no Logger
    // The process set of a quiet prefix is stable, but a Wine service, or a program of a test
    // that runs beside this one, may come or go between two walks: they are repeated, for up to
    // half a minute on a busy host, until two agree.
    bool same = false;
    for (int attempt = 0; attempt < 300 && !same; ++attempt) {
        if (attempt > 0) ::Sleep(100);
        const tessel::NodeList a = manager.EnumProcs();
        const tessel::NodeList b = EnumProcessesNT();
        same = Ids(a) == Ids(b);
        if (!same) continue;
        for (std::size_t i = 0; i < a.Count() && same; ++i) {
            std::vector<std::wstring> x = Ids(a[i].Nodes), y = Ids(b[i].Nodes);
            same = x == y;
        }
    }
    EXPECT_TRUE(same);
    {
        // The family is asked afresh at each call.
        ScopedPreset nineX(kernel32().GetVersion, [] { return kWin98; });
        int psapiCalls = 0;
        ScopedPreset count(psapi().EnumProcesses, [&](DWORD* b, DWORD cb, DWORD* r) {
            ++psapiCalls;
            return psapi().EnumProcesses.Real(b, cb, r);
        });
        const tessel::NodeList list = manager.EnumProcs();
        EXPECT_EQ(psapiCalls, 0);
        const tessel::Node* self = FindProcess(list, BaseName(OwnProgramPath()));
        if (!self) self = FindProcess(list, OwnProgramPath());
        ASSERT_NE(self, nullptr);
        EXPECT_TRUE(HasChild(*self, OwnProgramPath()));  // Toolhelp lists the executable's own module
        EXPECT_TRUE(HasChild(*self, library.Path()));
    }
}

TEST(EnumProcesses9x, ListsEveryModuleOfTheSnapshotInItsOrder) {
    TempDir dir;
    LoadedCopy library(dir.Path());
    int processRecords = 0, moduleRecords = 0;
    DWORD processSize = 0, moduleSize = 0;
    ScopedPreset p1(kernel32().Process32First, [&](HANDLE s, LPPROCESSENTRY32 e) {
        processSize = e->dwSize;
        const BOOL ok = kernel32().Process32First.Real(s, e);
        processRecords += ok ? 1 : 0;
        return ok;
    });
    ScopedPreset p2(kernel32().Process32Next, [&](HANDLE s, LPPROCESSENTRY32 e) {
        const BOOL ok = kernel32().Process32Next.Real(s, e);
        processRecords += ok ? 1 : 0;
        return ok;
    });
    ScopedPreset m1(kernel32().Module32First, [&](HANDLE s, LPMODULEENTRY32 e) {
        moduleSize = e->dwSize;
        const BOOL ok = kernel32().Module32First.Real(s, e);
        moduleRecords += ok ? 1 : 0;
        return ok;
    });
    ScopedPreset m2(kernel32().Module32Next, [&](HANDLE s, LPMODULEENTRY32 e) {
        const BOOL ok = kernel32().Module32Next.Real(s, e);
        moduleRecords += ok ? 1 : 0;
        return ok;
    });
    const tessel::NodeList list = EnumProcesses9x();
    EXPECT_EQ(processSize, sizeof(PROCESSENTRY32));
    EXPECT_EQ(moduleSize, sizeof(MODULEENTRY32));
    EXPECT_EQ(static_cast<int>(list.Count()), processRecords);
    std::size_t children = 0;
    for (const tessel::Node& process : list) children += process.Nodes.Count();
    EXPECT_EQ(static_cast<int>(children), moduleRecords);
    const tessel::Node* self = FindProcess(list, BaseName(OwnProgramPath()));
    if (!self) self = FindProcess(list, OwnProgramPath());
    ASSERT_NE(self, nullptr);
    ASSERT_GE(self->Nodes.Count(), 2u);
    EXPECT_TRUE(SameText(self->Nodes[0].Id, OwnProgramPath()));  // the executable's module comes first
    EXPECT_TRUE(HasChild(*self, library.Path()));
}

TEST(EnumProcesses9x, WithoutSnapshotsTheListIsEmptyOrHasNoChildren) {
    // Either value that means "no snapshot" is taken as none, and is never closed.
    for (HANDLE nothing : {INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
        int closed = 0;
        ScopedPreset none(kernel32().CreateToolhelp32Snapshot, [&](DWORD, DWORD) { return nothing; });
        ScopedPreset close(kernel32().CloseHandle, [&](HANDLE h) {
            closed += h == nothing;
            return kernel32().CloseHandle.Real(h);
        });
        bool taken = true;
        EXPECT_EQ(EnumProcesses9x(&taken).Count(), 0u);
        EXPECT_FALSE(taken);
        EXPECT_EQ(closed, 0);
    }
    ScopedPreset noModules(kernel32().CreateToolhelp32Snapshot, [](DWORD flags, DWORD id) {
        if (flags & TH32CS_SNAPMODULE) return INVALID_HANDLE_VALUE;
        return kernel32().CreateToolhelp32Snapshot.Real(flags, id);
    });
    const tessel::NodeList list = EnumProcesses9x();
    EXPECT_GE(list.Count(), 2u);
    EXPECT_NE(FindProcess(list, BaseName(OwnProgramPath())), nullptr);
    for (const tessel::Node& process : list) EXPECT_EQ(process.Nodes.Count(), 0u) << Narrow(process.Id);
}

TEST(EnumProcessesNT, TheIdBufferDoublesUntilItComesBackNotFull) {
    struct Case {
        DWORD processes;
        std::vector<DWORD> sizes;
    };
    const Case cases[] = {
        {50, {16, 32, 64, 128, 256}},
        {64, {16, 32, 64, 128, 256, 512}},  // exactly full at 256 bytes
        {4, {16, 32}},
        {3, {16}},
        {0, {16}},
    };
    for (const Case& c : cases) {
        std::vector<DWORD> sizes;
        std::vector<DWORD> opened;
        ScopedPreset ids(psapi().EnumProcesses, [&](DWORD* buffer, DWORD cb, DWORD* returned) {
            sizes.push_back(cb);
            for (DWORD i = 0; i < cb / 4; ++i) EXPECT_EQ(buffer[i], 0u) << "a fresh buffer is zero-filled";
            const DWORD n = std::min(c.processes, cb / 4);
            for (DWORD i = 0; i < n; ++i) buffer[i] = 0x7000 + 4 * i;
            *returned = n * 4;
            return TRUE;
        });
        // No real process is opened: every scripted id is refused.
        ScopedPreset open(kernel32().OpenProcess, [&](DWORD access, BOOL inherit, DWORD id) -> HANDLE {
            EXPECT_EQ(access, 0x410u);
            EXPECT_FALSE(inherit);
            opened.push_back(id);
            return nullptr;
        });
        EXPECT_EQ(EnumProcessesNT().Count(), 0u);
        EXPECT_EQ(sizes, c.sizes) << c.processes << " processes";
        ASSERT_EQ(opened.size(), c.processes);
        for (DWORD i = 0; i < c.processes; ++i) EXPECT_EQ(opened[i], 0x7000 + 4 * i);
    }
}

TEST(EnumProcessesNT, AFailingIdListGivesAnEmptyList) {
    int opened = 0;
    ScopedPreset ids(psapi().EnumProcesses, [](DWORD*, DWORD, DWORD* returned) {
        *returned = 0xdeadbeef;
        return FALSE;
    });
    ScopedPreset open(kernel32().OpenProcess, [&](DWORD, BOOL, DWORD) -> HANDLE {
        ++opened;
        return nullptr;
    });
    EXPECT_EQ(EnumProcessesNT().Count(), 0u);
    EXPECT_EQ(opened, 0);
}

TEST(EnumProcessesNT, NeverReadsMoreModuleHandlesThanTheTableHolds) {
    {
        // More than 1024 modules: the second request asks for the whole table and no more.
        ScriptedModules s;
        s.firstCount = s.secondCount = 2000;
        s.NameAll(2000);
        const tessel::NodeList list = EnumProcessesNT();
        ASSERT_EQ(list.Count(), 1u);
        EXPECT_EQ(list[0].Id, L"C:\\scripted\\module0.dll");
        EXPECT_EQ(list[0].Nodes.Count(), 1023u);
        EXPECT_EQ(list[0].Nodes[1022].Id, L"C:\\scripted\\module1023.dll");
        EXPECT_EQ(s.requestSizes, (std::vector<DWORD>{256 * sizeof(HMODULE), 1024 * sizeof(HMODULE)}));
        EXPECT_TRUE(s.OnlyWrittenHandlesAsked());
    }
    {
        // Two modules loaded between the requests: they are counted but were not written.
        ScriptedModules s;
        s.firstCount = 10;
        s.secondCount = 12;
        s.NameAll(12);
        const tessel::NodeList list = EnumProcessesNT();
        ASSERT_EQ(list.Count(), 1u);
        EXPECT_EQ(list[0].Nodes.Count(), 9u);
        EXPECT_EQ(s.requestSizes, (std::vector<DWORD>{256 * sizeof(HMODULE), 10 * sizeof(HMODULE)}));
        EXPECT_TRUE(s.OnlyWrittenHandlesAsked());
    }
    {
        // A module unloaded in between: only the handles written are read.
        ScriptedModules s;
        s.firstCount = 5;
        s.secondCount = 4;
        s.NameAll(5);
        const tessel::NodeList list = EnumProcessesNT();
        ASSERT_EQ(list.Count(), 1u);
        EXPECT_EQ(list[0].Nodes.Count(), 3u);
        EXPECT_TRUE(s.OnlyWrittenHandlesAsked());
    }
}

TEST(EnumProcessesNT, BlankNamesAreLeftOutAndAnUnreadableImageStaysListed) {
    ScriptedModules s;
    s.firstCount = s.secondCount = 5;
    s.NameAll(5);
    s.names.erase(reinterpret_cast<std::uintptr_t>(ScriptedModules::Handle(0)));  // image unreadable
    s.names[reinterpret_cast<std::uintptr_t>(ScriptedModules::Handle(1))] = L"   ";
    s.names.erase(reinterpret_cast<std::uintptr_t>(ScriptedModules::Handle(3)));
    s.names[reinterpret_cast<std::uintptr_t>(ScriptedModules::Handle(4))] = L" C:\\padded.dll ";
    const tessel::NodeList list = EnumProcessesNT();
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list[0].Id, L"");
    ASSERT_EQ(list[0].Nodes.Count(), 2u);
    EXPECT_EQ(list[0].Nodes[0].Id, L"C:\\scripted\\module2.dll");
    EXPECT_EQ(list[0].Nodes[1].Id, L" C:\\padded.dll ");  // kept as read
}

TEST(EnumProcessesNT, AProcessWhoseModuleListCannotBeReadIsLeftOut) {
    ScriptedModules s;
    s.secondFails = true;
    s.NameAll(3);
    EXPECT_EQ(EnumProcessesNT().Count(), 0u);
    EXPECT_TRUE(s.asked.empty());
}

TEST(EnumProcessesNT, ALongModuleNameIsReadAgainWithRoom) {
    std::wstring longName = L"C:\\";
    while (longName.size() < 600) longName += L"deeper\\";
    longName += L"module.dll";
    for (bool withoutNul : {false, true}) {
        ScriptedModules s;
        s.withoutNulWhenCut = withoutNul;
        s.firstCount = s.secondCount = 3;
        s.NameAll(3);
        const auto handle = reinterpret_cast<std::uintptr_t>(ScriptedModules::Handle(1));
        s.names[handle] = longName;
        const tessel::NodeList list = EnumProcessesNT();
        ASSERT_EQ(list.Count(), 1u);
        ASSERT_EQ(list[0].Nodes.Count(), 2u);
        EXPECT_EQ(list[0].Nodes[0].Id, longName);
        EXPECT_EQ(list[0].Nodes[1].Id, L"C:\\scripted\\module2.dll");
        EXPECT_EQ(s.sizes[handle], (std::vector<DWORD>{260, 520, 1040}));
        // A short name is read once, into 260 characters.
        EXPECT_EQ(s.sizes[reinterpret_cast<std::uintptr_t>(ScriptedModules::Handle(2))], (std::vector<DWORD>{260}));
    }
}
