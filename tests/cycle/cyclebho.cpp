// The seeded parasite of the whole-cycle test: a DLL without any version information.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
extern "C" __declspec(dllexport) int CycleParasiteMark() { return 42; }
