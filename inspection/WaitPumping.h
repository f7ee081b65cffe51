// A wait that keeps the window message loop running: window events are handled while it
// lasts, and the thread sleeps between them instead of spinning.
#pragma once
#include <windows.h>

namespace velmora {

// Returns once the given time has passed on the system's tick, which a change of the clock
// (daylight saving, a user setting the time) does not move.
void WaitPumping(unsigned long Milliseconds);

// The same wait, ended early once the object is signalled (a process that has ended); true
// when it was signalled within the time.
bool WaitPumpingFor(HANDLE object, unsigned long Milliseconds);

}  // namespace velmora
