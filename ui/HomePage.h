// The maker's home page: shown at the foot of the main window and opened from its Help menu and
// from the About window.
#pragma once

namespace velmora::ui {

inline constexpr wchar_t kMakerHomePage[] = L"http://www.ardentis-software.example/velmora/";

// Starts "explorer" with the home page in a normal window with the focus; a failure to start
// it is ignored (a missing shell program shows nothing).
void OpenMakerHomePage();

}  // namespace velmora::ui
