// Ends the program at once: no later step runs and no window's closing steps run. The
// cleanup ends the program this way after every restart request.
#pragma once

namespace velmora {

[[noreturn]] void EndProgram();

}  // namespace velmora
