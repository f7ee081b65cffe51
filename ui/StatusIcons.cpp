#include "ui/StatusIcons.h"

#include "tessel/Error.h"
#include "ui/SettingsPanelIds.h"

namespace velmora::ui {

namespace {
struct StatusIcon {
    const wchar_t* key;
    int resource;
};
const StatusIcon kIcons[] = {
    {L"i", IDI_STATUS_ATTENTION},
    {L"OK", IDI_STATUS_OK},
    {L"IE", IDI_STATUS_BROWSER},
};
}  // namespace

UniqueImageList BuildStatusImageList() {
    UniqueImageList list(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0));
    if (!list) tessel::ThrowLastError("ImageList_Create", L"Cannot create the status icons' list");
    for (const StatusIcon& icon : kIcons) {
        const UniqueIcon h(static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon.resource), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
        if (!h) tessel::ThrowLastError("LoadImageW", L"Cannot load the status icon \"" + std::wstring(icon.key) + L"\"");
        // The list keeps its own copy of the picture.
        const int added = ::ImageList_ReplaceIcon(list.get(), -1, h.get());
        if (added < 0)
            throw tessel::Error(tessel::kUnspecifiedFailure,
                                L"Cannot add the status icon \"" + std::wstring(icon.key) + L"\".", "ImageList_ReplaceIcon");
    }
    return list;
}

int StatusImageIndex(std::wstring_view key) {
    for (int i = 0; i < static_cast<int>(std::size(kIcons)); ++i)
        if (key == kIcons[i].key) return i;
    return -1;
}

std::wstring StatusKeyOfImage(int image) {
    if (image < 0 || image >= static_cast<int>(std::size(kIcons))) return L"";
    return kIcons[image].key;
}

std::wstring RowIconKey(HWND listView, int row) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = -1;
    if (!::SendMessageW(listView, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return L"";
    return StatusKeyOfImage(item.iImage);
}

}  // namespace velmora::ui
