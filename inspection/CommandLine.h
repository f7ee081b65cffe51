// The file name inside a registry command line, by fixed textual rules (rundll32 forms,
// quotation marks, switches, arguments). Pure text: no file system, no registry.
#pragma once
#include <string>
#include <string_view>

namespace velmora {

// The file that a command line runs or, for a rundll32 form, the DLL it loads; empty when
// nothing is left. Letter case is kept.
std::wstring FileNameFromCommandLine(std::wstring cl);

// The text without the blanks around it and without one pair of quotation marks around it.
std::wstring TrimmedUnquoted(std::wstring_view text);

}  // namespace velmora
