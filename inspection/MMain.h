// Names shared by the program's parts.
#pragma once
#include <string>

namespace velmora {

// The disabled name of a file: the same folder, "parasite_" before the file name and
// ".parasite" after it. Text only: nothing is checked against the file system.
std::wstring GetParasiteFileName(const std::wstring& path);

}  // namespace velmora
