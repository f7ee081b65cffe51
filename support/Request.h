// One support request: the report items written as an XML envelope, packed into a one-entry
// zip archive, encoded and posted as a form to the maker's support server.
#pragma once
#include <string>

#include "tessel/Logger.h"
#include "tessel/Node.h"

namespace velmora {

// Where the support server is: the value "Support Server" under the product key of the
// current user (a host name, optionally with ":port"), else the maker's own host.
inline constexpr wchar_t kSupportServerValue[] = L"Support Server";
inline constexpr wchar_t kDefaultSupportServer[] = L"support.ardentis-software.com";
std::wstring SupportServerHost();

class cl {
public:
    // True only when the server answered with a success status. Otherwise False, with the
    // reason in FalseCouse (left untouched on success). Logs nothing and shows nothing.
    bool Do1(tessel::Logger& Log, std::wstring Category, const tessel::NodeParams& o, std::wstring& FalseCouse);

    // Whether the last Do1 got as far as writing the report and its archive: when it did not,
    // FalseCouse tells why the report could not be written, and nothing was posted.
    bool ReportWritten() const noexcept { return mReportWritten; }

private:
    bool mReportWritten = false;
};

// The form escaping of the request body: "+", CR, LF and "\" only, in that order.
std::wstring UrlEscape(const std::wstring& Text);

// The envelope of the items (ASCII text; see Do1) for a category and request id.
std::wstring SupportRequestXml(const std::wstring& Category, const std::wstring& RequestId, const tessel::NodeParams& o);

}  // namespace velmora
