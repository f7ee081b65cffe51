#include "inspection/MMain.h"

namespace velmora {

std::wstring GetParasiteFileName(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return L"parasite_" + path + L".parasite";
    return path.substr(0, slash + 1) + L"parasite_" + path.substr(slash + 1) + L".parasite";
}

}  // namespace velmora
