#include "ProcessTestSupport.h"

#include <memory>

#include <gtest/gtest.h>

#include "tessel/FileAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

namespace process_testing {

using testing_support::Narrow;

Child::Child(const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cl = commandLine;
    if (!::CreateProcessW(nullptr, cl.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << Narrow(commandLine) << ": " << ::GetLastError();
        return;
    }
    tessel::UniqueHandle thread(pi.hThread);  // only the process is watched
    process_.reset(pi.hProcess);
    pid_ = pi.dwProcessId;
}

Child::~Child() { Kill(); }

bool Child::Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

DWORD Child::Wait(DWORD timeoutMs) const {
    if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

void Child::Kill() {
    if (Running()) {
        ::TerminateProcess(process_.get(), 1);  // the test's own child
        ::WaitForSingleObject(process_.get(), 10000);
    }
}

std::wstring HolderPath() { return testing_support::ProgramFolder() + L"\\vlm_holder.exe"; }
std::wstring FixtureDllPath() { return testing_support::ProgramFolder() + L"\\vlm_fixture.dll"; }

std::wstring CopyFixture(const std::wstring& from, const std::wstring& folder, const std::wstring& stem,
                         const std::wstring& extension) {
    const std::wstring to = folder + L"\\" + stem + L"_" + tessel::SystemUtility::Instance().NewId() + extension;
    if (!::CopyFileW(from.c_str(), to.c_str(), TRUE)) ADD_FAILURE() << "cannot copy " << Narrow(from);
    return to;
}

Child StartHolder(const std::wstring& mode, const std::wstring& path, const std::wstring& holderExe,
                  const std::wstring& further) {
    const std::wstring eventName = L"Local\\vlm-ready-" + tessel::SystemUtility::Instance().NewId();
    tessel::UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    EXPECT_TRUE(static_cast<bool>(ready));
    Child child(L"\"" + holderExe + L"\" " + mode + L" \"" + path + L"\" " + eventName + (further.empty() ? L"" : L" " + further));
    if (!child.Started()) return child;
    HANDLE both[2] = {ready.get(), child.Handle()};
    const DWORD got = ::WaitForMultipleObjects(2, both, FALSE, 30000);
    if (got != WAIT_OBJECT_0) ADD_FAILURE() << "the holder did not get ready (" << got << ", exit " << child.Wait(0) << ")";
    return child;
}

Child StartStartPageRewriter(const std::wstring& dll, const testing_support::ScratchHives& hives, const std::wstring& url) {
    const std::wstring main = hives.RealPath(HKEY_CURRENT_USER) + L"\\Software\\Microsoft\\Internet Explorer\\Main";
    return StartHolder(L"rewrite", dll, HolderPath(), L"\"" + main + L"\" \"" + url + L"\"");
}

namespace {

struct LateEnd {
    tessel::UniqueHandle process;  // a copy of the caller's handle
    UINT code;
    DWORD delayMs;
};

DWORD WINAPI EndLater(LPVOID param) {
    const std::unique_ptr<LateEnd> late(static_cast<LateEnd*>(param));
    ::Sleep(late->delayMs);
    ::TerminateProcess(late->process.get(), late->code);
    return 0;
}

}  // namespace

OnlyOwnChildren::OnlyOwnChildren(std::set<DWORD> allowed)
    : allowed_(std::move(allowed)),
      preset_(tessel::api::kernel32().TerminateProcess, [this](HANDLE process, UINT code) -> BOOL {
          const DWORD pid = ::GetProcessId(process);
          Terminated.push_back(pid);
          TerminatedAt.push_back(tessel::api::kernel32().GetTickCount64.Real());
          if (!allowed_.count(pid)) {
              Refused.push_back(pid);
              ::SetLastError(ERROR_ACCESS_DENIED);
              return FALSE;
          }
          if (lateMs_ == 0) return tessel::api::kernel32().TerminateProcess.Real(process, code);
          // Told to end, it goes on for a while: the end comes from a thread of the test's own.
          auto late = std::make_unique<LateEnd>(LateEnd{{}, code, lateMs_});
          if (!::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), late->process.put(), 0, FALSE,
                                 DUPLICATE_SAME_ACCESS))
              return FALSE;
          lateEnds_.emplace_back(::CreateThread(nullptr, 0, EndLater, late.get(), 0, nullptr));
          if (lateEnds_.back()) late.release();
          else EndLater(late.release());
          return TRUE;
      }) {}

OnlyOwnChildren::~OnlyOwnChildren() {
    for (const auto& thread : lateEnds_)
        if (thread) ::WaitForSingleObject(thread.get(), INFINITE);
}

TestLog::TestLog() : path_(dir_ / L"VLMR.log") { log_.Open(path_, dir_ / L"short.log"); }

std::string TestLog::Text() const { return tessel::FileAccessor::Instance().ReadFile(path_); }

std::string Entry(int level, long number, const std::wstring& source, const std::wstring& text) {
    std::string entry = "\t";
    entry += std::to_string(level);
    entry += '\t';
    entry += std::to_string(number);
    entry += '\t';
    entry += Narrow(source);
    entry += '\t';
    entry += Narrow(text);
    entry += "\r\n";
    return entry;
}

std::size_t CountOf(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

std::wstring Upper(const std::wstring& s) { return tessel::SystemUtility::Upper(s); }

std::wstring OwnProgramPath() {
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH * 4);
    return std::wstring(buf, n);
}

}  // namespace process_testing
