// The body of the fixture DLLs: only their version resources differ.
extern "C" __declspec(dllexport) int FixtureMarker() { return 7; }
