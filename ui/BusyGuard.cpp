#include "ui/BusyGuard.h"

namespace velmora::ui {

namespace {
// One user-interface thread: a plain counter serves.
int g_running = 0;
}  // namespace

BusyGuard::BusyGuard() noexcept { ++g_running; }
BusyGuard::~BusyGuard() { --g_running; }
bool BusyGuard::Busy() noexcept { return g_running > 0; }

}  // namespace velmora::ui
