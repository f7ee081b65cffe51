#include "tessel/Unique.h"

#include <objbase.h>

#include "tessel/Api.h"

namespace tessel {

// Closing goes through the seam so that a test that scripts process handles sees them closed.
void FileTraits::close(HANDLE h) noexcept {
    try { api::kernel32().CloseHandle(h); } catch (...) {}
}
void HandleTraits::close(HANDLE h) noexcept {
    try { api::kernel32().CloseHandle(h); } catch (...) {}
}

ComApartment::ComApartment() noexcept : entered_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ComApartment::~ComApartment() {
    if (entered_) ::CoUninitialize();
}

}  // namespace tessel
