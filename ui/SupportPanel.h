// The support tab: the description, the name and the e-mail address, and the button that
// gathers a diagnostic report from the machine inside the progress window and sends it to the
// maker's support server; a double-click on the picture starts the automatic cleanup.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "tessel/Logger.h"
#include "ui/PanelCommon.h"
#include "ui/Progressor.h"

namespace velmora::ui {

class SupportPanel : public DialogPanel {
public:
    SupportPanel();

    // Keeps the Logger, shows the introduction and puts the selected placeholder into the
    // description box.
    void Init(tessel::Logger& log) override;

    // The outcome of the last request: sent or not, and the sender's reason when not.
    bool RequestSent() const noexcept { return mRequestSent; }
    const std::wstring& FailureText() const noexcept { return mFailureText; }

private:
    void OnInitDialog() override;
    INT_PTR OnPanelMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void cmdRequestSupport_Click();
    void moProgressor_Started();
    void Image1_DblClick();
    std::wstring BoxText(int id) const;

    tessel::Logger* mLog = &tessel::UnopenedLogger();  // until Init
    std::unique_ptr<FProgressor> moProgressor;
    bool mRequestSent = false;
    bool mReportUnwritten = false;  // the last request ended before anything was posted
    std::wstring mFailureText;
};

}  // namespace velmora::ui
