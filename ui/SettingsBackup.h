// The backup of the registry keys that the cleanup and the settings restore change, as a
// file the system's registry editor imports.
#pragma once
#include <string>

#include "tessel/Logger.h"

namespace velmora::ui {

// The bytes of a registry script around export text: UTF-16LE with its mark under the
// "Windows Registry Editor Version 5.00" header on the NT family, "REGEDIT4" in the ANSI
// code page on the 9x family (whose export text is made in tessel::ExportForm::Ansi).
std::string RegistryImage(const std::wstring& exportText);

// "Backup mmm dd, yyyy hh-mm-ss.reg" for the given local time.
std::wstring BackupFileName(const std::wstring& backupFolder, const SYSTEMTIME& when);

// Writes a new backup file into the Backup folder of the program folder and returns its
// path; an error is logged, nothing is written, the path is empty and `failure` (when given)
// receives the error's description.
std::wstring BackupRegistry(tessel::Logger& log, const std::wstring& programFolder,
                            std::wstring* failure = nullptr);

}  // namespace velmora::ui
