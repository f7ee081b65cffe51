// The program's main window: the tab strip over its four panels, the menus, the keys F5, F12,
// Ctrl+Tab and Ctrl+Shift+Tab, and the copyright line.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessel/Logger.h"
#include "ui/MainLayout.h"
#include "ui/Panel.h"
#include "ui/Window.h"

namespace velmora::ui {

// The four panels of the tabs, in the tabs' order. A missing panel leaves its tab empty.
struct TabPanels {
    std::unique_ptr<Panel> help, bho, cs, support;
};

// The program's own four panels.
TabPanels MakeTabPanels();

class FMain : public Dialog {
public:
    FMain(tessel::Logger& log, std::wstring programFolder, TabPanels panels);
    ~FMain() override;

    // Creates the window, still hidden, and runs its load steps: the settings backup, the four
    // panels with their lists, the tab-state log; then the caption is set.
    void Load();
    // Shows the loaded window centred on the screen.
    void Show();
    // Once set, unloading the window ends the program's message loop.
    void EndRunWhenUnloaded() noexcept { endRunWhenUnloaded_ = true; }

    // The window's key handler, also reached by the support panel (F12, no modifier). Shift
    // holds 1 for Shift, 2 for Ctrl and 4 for Alt.
    void Form_KeyUp(int KeyCode, int Shift);

    // The main window that holds `window` (itself or any of its controls), if any.
    static FMain* FromWindow(HWND window) noexcept;

    // What the window shows, for its tests.
    int CurrentTab() const noexcept { return mCurTab; }
    HWND TabStrip() const noexcept;
    Panel* TabPanel(int position) const noexcept;  // 1-based, as mCurTab

private:
    struct Tab {
        std::wstring name;
        Panel* panel;
        bool ready;  // placed and handed the Logger
    };

    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnKeyPreview(WPARAM key);
    void OnCommand(int id);
    void RequestUnload();

    void Form_Load();
    void Form_Resize();
    void InitTabStrip();
    void ShowTab();
    void ts_Click();
    void LogTabState();
    void mnuRefresh_Click();
    void mnuExit_Click();
    void mnuBackup_Click();
    void mnuRestore_Click();
    void mnuVisitWebsite_Click();
    void mnuAbout_Click();
    void mnuSafeRemover_Click();
    void mnuRestoreDisabledFiles_Click();

    Panel* ReadyPanel(int position) const noexcept;
    void SetClientSizeTwips(int widthTwips, int heightTwips);
    int PlaceCopyright();

    tessel::Logger* mLog;
    std::wstring programFolder_;
    TabPanels panels_;
    std::vector<Tab> mTabs;
    int mCurTab = 0;
    // The panels convert at the same rate: 15 twips a pixel (96 dots an inch).
    static constexpr int twipsPerPixel_ = 15;
    bool endRunWhenUnloaded_ = false;
    bool unloadWaiting_ = false;
};

// The tab's position for its key ("help", "BHO", "CS", "Support"); 0 for any other key.
int TabKeyToIndex(std::wstring_view Key);

// The program's one main window: made by the start-up's load step and kept to the end of the run.
FMain* ProgramMainWindow() noexcept;
void LoadProgramMainWindow(tessel::Logger& log, const std::wstring& programFolder);
void ReleaseProgramMainWindow() noexcept;

}  // namespace velmora::ui
