// The Browser Helper Objects tab: the registered objects with their files, the related-file
// box, the context menu (Delete, Properties) and the deletion, which first disables the file of
// an object that the detector judges a parasite.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>

#include "tessel/Logger.h"
#include "tessel/Node.h"
#include "ui/PanelCommon.h"

namespace velmora {
class CFileChecker;
}

namespace velmora::ui {

class BhoPanel : public DialogPanel {
public:
    BhoPanel();
    ~BhoPanel() override;

    void Create(HWND parent) override;
    // Keeps the Logger, then fills the list.
    void Init(tessel::Logger& log) override;
    HWND ListViewObject() const override;
    void RefreshList() override;

    // The record behind a row of the list (its tag): a Node whose Id is the object's class
    // identifier and whose params are "Name" and "DLL". Null when there is no such row. It
    // lives until the list is next refreshed.
    static const tessel::Node* RowRecord(HWND listView, int row);

private:
    // A row's record as a handler keeps it: its own copy, which no refresh can take away.
    struct RowCopy {
        std::wstring id, text, dll;
    };

    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnPanelMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnInitDialog() override;
    void OnNotify(const NMHDR& header);

    std::unique_ptr<tessel::NodeList> EnumBHOs();
    void FillBHOInfo(const tessel::KeyedList<std::wstring>& names, tessel::NodeList& list);
    std::optional<RowCopy> SelectedRow() const;

    void cmdDelete_Click();
    void lv_ItemClick();
    void lv_KeyUp(int keyCode, int shift);
    void lv_MouseUp(int button);
    void mnuProperties_Click();

    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

    tessel::Logger* mLog = &tessel::UnopenedLogger();  // until Init
    std::unique_ptr<CFileChecker> mFileChecker;
    std::optional<RowCopy> mContextItem;
    std::unique_ptr<tessel::NodeList> records_;  // the rows' tags
    WNDPROC listProc_ = nullptr;
    UniqueImageList il_;  // the list shares it (LVS_SHAREIMAGELISTS)
    bool filling_ = false;
};

}  // namespace velmora::ui
