// A wait that keeps the window message loop running: window events are handled while it
// lasts, and the thread sleeps between them instead of spinning.
#pragma once

namespace velmora {

// Returns once the given time has passed on the system's tick, which a change of the clock
// (daylight saving, a user setting the time) does not move.
void WaitPumping(unsigned long Milliseconds);

}  // namespace velmora
