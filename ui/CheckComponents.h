// The start-up's use of the two COM libraries: the custom component that logs its version, and
// the check that both libraries are installed and registered.
#pragma once
#include <string>

#include "tessel/Logger.h"

namespace velmora::ui {

// Creates "VLMRCustom.CCustom2" by its programmatic identifier, calls its Init by name through
// its dispatch interface with the log (as Tessel's Logger) and releases it. Raises on failure.
void InitCustomComponent(tessel::Logger& log);

// True when both COM libraries can create an object; otherwise False with Message naming the
// file of the first library that could not ("TESSEL.DLL" or "VLMRCUSTOM.DLL").
bool CheckComponents(std::wstring& Message);

}  // namespace velmora::ui
