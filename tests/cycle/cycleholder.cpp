// The seeded startup program of the whole-cycle test: loads the parasite DLL named on its
// command line and stays running until it is terminated. It has no version information.
//   vlmcycleholder.exe DLL [READY-FILE]   READY-FILE is made once the DLL is loaded
#include <windows.h>

#include "tessel/Unique.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || !::LoadLibraryW(argv[1])) return 1;
    if (argc > 2) tessel::UniqueFile(::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (;;) ::Sleep(1000);
}
