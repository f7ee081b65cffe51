// Asking Windows to restart.
#pragma once
#include <string>

namespace velmora {

// Enables the shutdown privilege of the program's own token and asks Windows to shut down
// and restart. True when Windows accepted; otherwise False with the system's text for the
// error in ErrorText. Logs nothing and shows nothing.
bool RebootSystem(std::wstring& ErrorText);

// Enables "SeShutdownPrivilege" in the program's own token. Every step runs whatever the one
// before it returned; a failure shows only as a refused restart request.
void EnableShutdownPrivilege();

}  // namespace velmora
