// The user's word before a file that the user chose is disabled: the program's own files are
// never disabled (the user is told why), Windows' own only after a second question.
#pragma once
#include <optional>
#include <string>

#include "inspection/FileStanding.h"
#include "tessel/Logger.h"

namespace velmora::ui {

// What the user agreed to disable the file as, which the rename holds it to (a Windows file only
// after the second question); nothing when it is left alone, which is logged under `source`.
std::optional<FileStanding> MayDisableFile(tessel::Logger& log, const std::wstring& file, const wchar_t* source);

}  // namespace velmora::ui
