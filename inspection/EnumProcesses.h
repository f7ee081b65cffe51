// The running processes with the modules loaded in them, as a record tree: one node per
// process whose Id is its image path, with one child node per module. Nothing is logged,
// shown or changed, and nothing is kept between calls.
#pragma once
#include <string>

#include "tessel/Node.h"

namespace velmora {

// NT family, through the process-status interface: only processes that can be opened for
// query and memory reading and whose module list can be read; the Id is the name of the
// first module, the children are modules 2 to n, blank names left out. listTaken, when
// given, is False when the list of processes itself could not be taken (the list is empty).
tessel::NodeList EnumProcessesNT(bool* listTaken = nullptr);

// 9x family, through Toolhelp snapshots: every process of the snapshot, with every module of
// its module snapshot (its own executable included); no children when that cannot be taken.
// listTaken as above: False when no process snapshot could be taken.
tessel::NodeList EnumProcesses9x(bool* listTaken = nullptr);

// The part before the first NUL character; the whole string when it holds none.
std::wstring TrimNull(const std::wstring& text);

}  // namespace velmora
