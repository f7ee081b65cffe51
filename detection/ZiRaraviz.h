// The automatic cleanup across a restart of Windows, and the restore of the browser settings.
#pragma once
#include <memory>
#include <string>

#include "inspection/Globals.h"
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

    bool ParasitesFound() const { return parasitesFound_; }
    bool DetectionComplete() const { return detectionComplete_; }
    // Where detection runs take their lists (tests); the live system when none is given.
    void UseDetectionSource(DetectionSource* source) { source_ = source; }

private:
    void RestartFailed(const std::wstring& errorText, const wchar_t* source);
    void ReportUnexpected(const wchar_t* source);

    tessel::Logger* log_ = nullptr;
    std::unique_ptr<tessel::RegistryAccessor> reg_;
    bool parasitesFound_ = false;
    bool detectionComplete_ = true;
    DetectionSource* source_ = nullptr;
};

}  // namespace velmora
