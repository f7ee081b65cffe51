// The inventory of what runs on the machine beyond Windows itself: the running processes with
// their modules, less Windows' own files and the known-good ones, as two XML documents.
#pragma once
#include <functional>
#include <string>

#include "tessel/Logger.h"
#include "tessel/Node.h"

namespace velmora {

// The processes with their modules, for the family asked (true: NT). The running system's
// enumeration unless a test hands in its own tree.
using ProcessLister = std::function<tessel::NodeList(bool nt)>;

// Returns the processes document and replaces FilesXML with the file document. On the NT
// family each is FF FE and its UTF-16LE bytes; on the 9x family each is the declaration and
// the document as text, one byte per character. Yields to the message loop once per module.
// Errors of the enumeration, the resolver or the detector pass to the caller.
std::string MakeProcessesXML(std::string& FilesXML, tessel::Logger& Log, const ProcessLister& lister = nullptr);

// FF FE and the UTF-16LE bytes of a text, one byte per character.
std::string Utf16Document(const std::wstring& text);

}  // namespace velmora
