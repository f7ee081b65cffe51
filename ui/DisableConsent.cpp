#include "ui/DisableConsent.h"

#include <windows.h>

#include "inspection/AppServices.h"
#include "inspection/FileStanding.h"
#include "inspection/MAPI.h"
#include "tessel/SystemUtility.h"

namespace velmora::ui {

std::optional<FileStanding> MayDisableFile(tessel::Logger& log, const std::wstring& file, const wchar_t* source) {
    switch (StandingOf(file)) {
        case FileStanding::ProgramFile:
            // Without its own files the program could not start again to give the others back.
            log.Log(0, L"Not disabled, part of Velmora: " + file, 5, source);
            MsgBoxEx(tessel::Format(app::LoadResString(IDS_PROGRAM_FILE_KEPT), file), MB_OK | MB_ICONEXCLAMATION);
            return std::nullopt;
        case FileStanding::SystemWhitelist:
        case FileStanding::WindowsFolder:
            // Cancel is the default button: Windows itself is not risked by a stray Enter.
            if (MsgBoxEx(tessel::Format(app::LoadResString(IDS_WINDOWS_FILE_QUESTION), file),
                         MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDOK)
                return FileStanding::SystemWhitelist;  // the question names Windows, whitelisted or not
            log.Log(0, L"Not disabled, part of Windows: " + file, 5, source);
            return std::nullopt;
        case FileStanding::Ordinary:
            break;
    }
    return FileStanding::Ordinary;
}

}  // namespace velmora::ui
