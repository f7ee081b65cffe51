// The support tab's form: the description, the name and the e-mail address, and the button
// that requests support. Sending the request is not part of this form yet: the button does
// nothing.
#pragma once
#include <windows.h>

#include "tessel/Logger.h"
#include "ui/PanelCommon.h"

namespace velmora::ui {

class SupportPanel : public DialogPanel {
public:
    SupportPanel();

    // Keeps the Logger, shows the introduction and puts the selected placeholder into the
    // description box.
    void Init(tessel::Logger& log) override;

private:
    void OnInitDialog() override;

    tessel::Logger* mLog = nullptr;
};

}  // namespace velmora::ui
