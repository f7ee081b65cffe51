// The platform steps that the process list and the termination of holders share: the
// process ids and module names of the process-status interface (NT family), and the
// Toolhelp snapshots (9x family). Every call goes through the platform seam.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

namespace velmora::process_walk {

// The 9x records are the system's ANSI ones; their sizes are those a 32-bit caller gives.
static_assert(sizeof(void*) != 4 || sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 of a 32-bit caller");
static_assert(sizeof(void*) != 4 || sizeof(MODULEENTRY32) == 548, "MODULEENTRY32 of a 32-bit caller");
static_assert(sizeof(void*) != 4 || sizeof(HMODULE) == 4, "module handles of a 32-bit caller");

// The module-handle table holds 1024 handles; the first request asks for a quarter of it.
constexpr DWORD kModuleTableEntries = 1024;
constexpr DWORD kFirstRequestEntries = 256;
// A file name is first read into 260 characters, and again with more room when it filled them.
constexpr DWORD kNameChars = 260;
constexpr DWORD kLongestName = 32768;

// The ids of the running processes, in the order of the system's list. The buffer starts at
// 16 bytes and doubles for as long as the list fills it. Empty when the call fails; taken,
// when given, tells that failure from a list that is really empty.
std::vector<DWORD> ProcessIds(bool* taken = nullptr);

// The module handles of an open process, the executable's first, as many as the table was
// filled with. False when the module list cannot be read.
bool ModuleHandles(HANDLE process, std::vector<HMODULE>& modules);

// The file name of one module as the system reports it; empty when it cannot be read.
std::wstring ModuleName(HANDLE process, HMODULE module);

// The text of an ANSI record field, up to its first NUL.
std::wstring AnsiField(const char* field, std::size_t capacity);

// Walks a Toolhelp process snapshot. False when no snapshot could be taken.
bool ForEachProcess9x(const std::function<void(const PROCESSENTRY32&)>& visit);

// Walks the module snapshot of one process until visit returns true. False when no snapshot
// could be taken.
bool ForEachModule9x(DWORD processId, const std::function<bool(const MODULEENTRY32&)>& visit);

}  // namespace velmora::process_walk
