// The seeded startup program of the whole-cycle test: loads the parasite DLL named on its
// command line and stays running until it is terminated. It has no version information.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || !::LoadLibraryW(argv[1])) return 1;
    for (;;) ::Sleep(1000);
}
