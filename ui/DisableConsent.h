// The user's word before a file that the user chose is disabled: the program's own files are
// never disabled (the user is told why), Windows' own only after a second question.
#pragma once
#include <string>

#include "tessel/Logger.h"

namespace velmora::ui {

// True when the file may be disabled; a file left alone is logged under `source`.
bool MayDisableFile(tessel::Logger& log, const std::wstring& file, const wchar_t* source);

}  // namespace velmora::ui
