// The automatic cleanup across a restart of Windows, and the restore of the browser settings.
#pragma once
#include <memory>
#include <string>

#include "inspection/FileStanding.h"
#include "inspection/Globals.h"
#include "tessel/KeyedList.h"
#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"

namespace velmora {

class DetectionSource;

inline constexpr wchar_t kCleanupTimeValue[] = L"ZiRaraviz Cleanup Time";
// Two boot times closer than this (two minutes, in days) belong to one start of Windows.
inline constexpr double CleanupTimeWindow = 1.0 / 720.0;
// The browser maker's web address, and the browser's stock default page on it.
inline constexpr wchar_t BrowserMakerUrl[] = L"http://www.microsoft.com";
inline constexpr wchar_t StockDefaultPageUrl[] = L"http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome";

// How a disabling ends: the texts of its closing question (string-table numbers) and its log.
struct DisablingEnd {
    unsigned completeText;  // everything was done; it ends in the restart question
    unsigned notAllText;    // takes the place of its first sentence when something was not ("%1": how many)
    const wchar_t* source;  // the caller's log source
    bool storeCleanupTime;  // the restart is remembered for the next start (the cleanup's own)
};

// The closing question: the complete text when everything was done; otherwise its first
// sentence, which claims success, gives way to the not-all text with the count.
std::wstring ClosingQuestion(const std::wstring& completeText, const std::wstring& notAllText, int notDone);

class CZiRaraviz {
public:
    void Init(tessel::Logger& Log);
    // The start-up's decision: offer the cleanup, ask for the restart it needs, or forget
    // the stored boot time; may end the program.
    void Perform();
    // The whole cleanup sequence; may restart Windows and end the program.
    void CleanUp();
    // One detection run; sets ParasitesFound.
    void Check();
    // Puts the browser configuration back to safe values. Returns how many of its steps
    // could not be done (each is logged); the others are done all the same.
    int RestoreConfigurationSettings();
    // The end of every disabling, the cleanup's and Zazi Dururuv's alike: the files disabled and
    // recorded, every other process that holds one of them ended and gone, and only then the
    // browser configuration restored (also when the holders could not be looked for, which
    // counts as a step not done); then the restart is offered. OK restarts Windows and ends the
    // program. Declined, the program's own process, should it hold one of the files, is ended
    // last, after telling the user. notDone counts the caller's steps that could not be done.
    // agreed: what each file was agreed to be disabled as (see CProcessManager::RenameParasiteFilesEx).
    void FinishDisabling(const tessel::KeyedList<std::wstring>& files, int notDone, const DisablingEnd& end,
                         const tessel::KeyedList<FileStanding>& agreed = {});

    bool ParasitesFound() const { return parasitesFound_; }
    bool DetectionComplete() const { return detectionComplete_; }
    // Where detection runs take their lists (tests); the live system when none is given.
    void UseDetectionSource(DetectionSource* source) { source_ = source; }

private:
    void RestartFailed(const std::wstring& errorText, const wchar_t* source);
    // Tells the user of an error that ended a step; a message that cannot be shown is passed over.
    void ReportUnexpected(const tessel::ErrorDescription& error);

    tessel::Logger* log_ = nullptr;
    std::unique_ptr<tessel::RegistryAccessor> reg_;
    bool parasitesFound_ = false;
    bool detectionComplete_ = true;
    DetectionSource* source_ = nullptr;
};

}  // namespace velmora
