// A library that the holder processes load, so that a test has a module of its own to find.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) int VlmFixtureAnswer() { return 42; }
