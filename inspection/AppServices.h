// What the engine uses of the program's shell: its string table and the one application-wide
// mouse pointer. The windows of the user interface show the pointer that is set here.
#pragma once
#include <string>

#include "inspection/StringIds.h"

namespace velmora::app {

enum Pointer : int { kDefaultPointer = 0, kHourglass = 11 };

int MousePointer();
void SetMousePointer(int pointer);

// A text of the program's string table; raises when the number has none.
std::wstring LoadResString(unsigned id);

}  // namespace velmora::app
