// The configuration settings tab: the settings table's listed rows with their status icons,
// the values that need attention in bold red, and the one button that restores them all.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "tessel/Logger.h"
#include "ui/Controls.h"
#include "ui/PanelCommon.h"
#include "ui/SettingsLayout.h"
#include "ui/StatusIcons.h"

namespace velmora::ui {

class ucCS final : public DialogPanel {
public:
    ucCS();
    ~ucCS() override;

    void Create(HWND parent) override;
    // Keeps the Logger (shared with the main window) and fills the list.
    void Init(tessel::Logger& log) override;
    HWND ListViewObject() const override { return lv_; }
    // Reads the 26 rows afresh; a key or value that cannot be read spoils its own row alone (it
    // is read as absent and logged), and a failing list raises to the caller with the rows so far.
    void RefreshList() override;
    void Resize(int widthTwips, int heightTwips) override;

private:
    void OnInitDialog() override;
    INT_PTR OnPanelMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw);
    // A value that needs attention, bold red on its row's background, in its cell.
    void DrawAttentionValue(HDC dc, int row) const;
    void cmdRestore_Click();
    void FitTextsToFont();
    void Apply(const SettingsGeometry& g);

    HWND lv_ = nullptr;
    tessel::Logger* log_ = nullptr;
    UniqueImageList il4lv_;
    UniqueGdiObject boldFont_;
    HFONT listFont_ = nullptr;  // the list's own, not ours to delete
    SettingsGeometry placed_;
    int label4Width_ = 3330, filenameWidth_ = 3375;  // twips
};

}  // namespace velmora::ui
