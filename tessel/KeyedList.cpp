#include "tessel/KeyedList.h"

#include <windows.h>

namespace tessel {

std::wstring FoldKey(std::wstring_view key) {
    std::wstring folded(key);
    if (!folded.empty())
        ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    return folded;
}

}  // namespace tessel
