// Procedures of the detection engine that stand outside its classes.
#pragma once
#include <string>

#include "tessel/RegistryAccessor.h"

namespace velmora {

// Whether a COM class is served by the expected DLL of the system folder. serverPath gets
// the registered server text as stored ("" when there is none).
bool IsComServerFile(tessel::RegistryAccessor& registry, const std::wstring& classId, const std::wstring& fileName,
                     std::wstring& serverPath);

}  // namespace velmora
