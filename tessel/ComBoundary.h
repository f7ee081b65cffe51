// Where COM calls into our code (the exports of a server, the methods of our objects) no C++
// exception may pass back into the caller's frames: GCC's unwinding cannot cross them, and a
// COM caller understands only an HRESULT. Every entry goes through AtComBoundary, which turns
// an error into its HRESULT with the description as the thread's error information. A program
// end of the seam (ExitUnwind) is handed to the program's recorder, so that the program's own
// side raises it again once the call has returned.
#pragma once
#include <windows.h>

#include "tessel/Error.h"

namespace tessel::com {

using ExitRecorder = void (*)(unsigned code) noexcept;
// The program names where a program end stopped at a COM boundary goes; without one it is kept
// here and only fails the call.
void SetExitRecorder(ExitRecorder recorder) noexcept;
void RecordExitAtBoundary(unsigned code) noexcept;

// Inside a catch block: the HRESULT of the error being handled, after setting the thread's
// error information (description and source) for callers that read it.
HRESULT CurrentErrorResult(const wchar_t* source) noexcept;

// The HRESULT of an error number of the support library: failure codes stay as they are; the
// Basic runtime's own numbers travel as its control-facility codes (0x800A0000 + number).
HRESULT ResultOfNumber(long number) noexcept;

template <class F>
HRESULT AtComBoundary(const wchar_t* source, F&& body) noexcept {
    try {
        return body();
    } catch (const api::ExitUnwind& exit) {
        RecordExitAtBoundary(exit.code);
        return E_ABORT;
    } catch (...) {
        return CurrentErrorResult(source);
    }
}

}  // namespace tessel::com
