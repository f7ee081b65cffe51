#include "ui/TabState.h"

#include <commctrl.h>

#include "tessel/Node.h"
#include "ui/BhoPanel.h"
#include "ui/Controls.h"
#include "ui/StatusIcons.h"

namespace velmora::ui {

namespace {

int RowCount(HWND listView) { return static_cast<int>(::SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0)); }

}  // namespace

std::vector<BhoRowState> ReadBhoRows(HWND listView) {
    std::vector<BhoRowState> rows;
    const int n = RowCount(listView);
    for (int i = 0; i < n; ++i) {
        const tessel::Node* record = BhoPanel::RowRecord(listView, i);
        BhoRowState row;
        row.name = ListCellText(listView, i, 0);
        if (record) {
            row.id = record->Id;
            if (record->params.Exists(L"DLL")) row.dll = record->params.Item(L"DLL").Value();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<SettingRowState> ReadSettingRows(HWND listView) {
    std::vector<SettingRowState> rows;
    const int n = RowCount(listView);
    for (int i = 0; i < n; ++i) {
        SettingRowState row;
        row.statusKey = RowIconKey(listView, i);
        row.name = ListCellText(listView, i, 0);
        row.value = ListCellText(listView, i, 1);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace velmora::ui
