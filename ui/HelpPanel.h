// The Help tab: the program's icon and the introductory text, sized to fill the tab.
#pragma once
#include <windows.h>

#include "tessel/Logger.h"
#include "ui/PanelCommon.h"

namespace velmora::ui {

class HelpPanel : public DialogPanel {
public:
    HelpPanel();

    // Keeps the Logger (the panel writes nothing to it) and shows the help text.
    void Init(tessel::Logger& log) override;

private:
    void OnInitDialog() override;

    tessel::Logger* mLog = nullptr;
};

}  // namespace velmora::ui
