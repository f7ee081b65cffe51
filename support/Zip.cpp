#include "support/Zip.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

namespace velmora {

namespace {

cZip* gCurrent = nullptr;
bool gPasswordCancelled = false;

// The library takes ANSI texts. A path that the ANSI code page cannot spell is handed over
// in its short form, which can; one that has none is refused with its name rather than
// turned into a path of question marks. The file's own name stays long where the code page
// can spell it, because an entry is stored under that name (a user name in another script
// must not turn the report's name into an 8.3 one).
std::string AnsiPath(const std::wstring& path, bool mayNotExist) {
    using tessel::SystemUtility;
    const auto spelt = [](const std::wstring& text, std::string& ansi) {
        ansi = SystemUtility::ToAnsi(text);
        return SystemUtility::FromAnsi(ansi) == text;
    };
    std::string ansi;
    if (spelt(path, ansi)) return ansi;
    const auto shortened = [&](const std::wstring& target, const std::wstring& tail) {
        wchar_t shortForm[MAX_PATH * 2];
        const DWORD n = ::GetShortPathNameW(target.c_str(), shortForm, MAX_PATH * 2);
        return n > 0 && n < MAX_PATH * 2 && spelt(std::wstring(shortForm, n) + tail, ansi);
    };
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) {
        const std::wstring tail = path.substr(cut);
        std::string unused;
        if (spelt(tail, unused) && shortened(path.substr(0, cut), tail)) return ansi;
    }
    const bool exists = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if ((exists || !mayNotExist) && shortened(path, L"")) return ansi;
    throw tessel::Error(tessel::kInvalidArgument,
                        L"The zip library cannot be given the path '" + path +
                            L"': it holds characters that the system's ANSI code page lacks.");
}

}  // namespace

ZipLibraryCalls& ZipLibrary() {
    static ZipLibraryCalls calls;
    return calls;
}

cZip::cZip() {
    StoreDirectories(false);
    StoreFolderNames(false);
    RecurseSubDirs(false);
}

cZip::~cZip() {
    if (gCurrent == this) gCurrent = nullptr;
}

void cZip::BasePath(const std::wstring& sBasePath) {
    BasePath_ = sBasePath;
    BasePathAnsi_ = tessel::SystemUtility::ToAnsi(sBasePath);
    Options_.RootFolder = BasePathAnsi_.empty() ? nullptr : BasePathAnsi_.c_str();
}

void cZip::MessageLevel(long eLevel) {
    switch (eLevel) {
        case 0: Options_.Verbose = 1; Options_.Quiet = 0; break;
        case 1: Options_.Verbose = 0; Options_.Quiet = 1; break;
        case 2: Options_.Verbose = 0; Options_.Quiet = 0; break;
        default: break;
    }
}

const std::wstring& cZip::FileSpec(long nIndex) const {
    if (nIndex < 1 || nIndex > FileSpecCount())
        throw tessel::Error(tessel::kSubscriptOutOfRange, L"Subscript out of range: file name " +
                                                              std::to_wstring(nIndex) + L" of " +
                                                              std::to_wstring(FileSpecCount()) + L".");
    return Patterns_[static_cast<std::size_t>(nIndex - 1)];
}

void cZip::Zip() { RunZip(*this, Options_, Patterns_, FileSpecCount()); }

void cZip::Delete() {
    Options_.DeleteEntries = 1;
    try {
        RunZip(*this, Options_, Patterns_, FileSpecCount());
    } catch (...) {
        Options_.DeleteEntries = 0;
        throw;
    }
    Options_.DeleteEntries = 0;
}

void cZip::RaiseProgress(const std::wstring& sMsg) {
    if (Progress) Progress(1, sMsg);
}

void cZip::RaisePasswordRequest(std::wstring& sPassword, bool& bCancel) {
    if (PasswordRequest) PasswordRequest(sPassword, bCancel);
}

void cZip::RaiseCancel(const std::wstring& sMsg, bool& bCancel) {
    if (Cancel) Cancel(sMsg, bCancel);
}

long RunZip(cZip& Zip, zip::ZipOptions& Options, const std::vector<std::wstring>& FilePatterns, long Count) {
    mZip::BeginRun(Zip);
    if (!tessel::text::TrimBlanks(Zip.BasePath()).empty() && !::SetCurrentDirectoryW(Zip.BasePath().c_str()))
        tessel::ThrowLastError("SetCurrentDirectoryW", L"Cannot make '" + Zip.BasePath() + L"' the current folder");
    zip::ZipCallbacks callbacks{mZip::ZipPrintCallback, mZip::ZipPasswordCallback, mZip::ZipCommentCallback,
                                mZip::ZipServiceCallback};
    ZipLibrary().Init(&callbacks);
    ZipLibrary().SetOptions(&Options);
    if (Count < 0 || static_cast<std::size_t>(Count) > zip::kMostPatterns || static_cast<std::size_t>(Count) > FilePatterns.size())
        throw tessel::Error(tessel::kSubscriptOutOfRange,
                            L"Subscript out of range: the zip library takes at most " + std::to_wstring(zip::kMostPatterns) +
                                L" file names in one run, and " + std::to_wstring(Count) + L" were given.");
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(Count) + 1);
    for (long i = 0; i < Count; ++i) texts.push_back(AnsiPath(FilePatterns[static_cast<std::size_t>(i)], false));
    texts.emplace_back();
    auto names = std::make_unique<zip::ZipNames>();
    std::memset(names.get(), 0, sizeof(zip::ZipNames));
    for (std::size_t i = 0; i < texts.size(); ++i) names->Slot[i] = texts[i].c_str();
    const std::string archive = AnsiPath(Zip.ZipFile(), true);
    return ZipLibrary().Archive(Count, archive.c_str(), names.get());
}

namespace mZip {

cZip* CurrentArchive() { return gCurrent; }

void BeginRun(cZip& Zip) {
    gCurrent = &Zip;
    gPasswordCancelled = false;
}

void SlashesToBackslashes(std::wstring& Text) {
    for (std::size_t i = 1; i < Text.size(); ++i)
        if (Text[i] == L'/') Text[i] = L'\\';
}

LONG WINAPI ZipPrintCallback(const char* Message, ULONG Length) {
    tessel::PassOver([&] {
        if (Length > 1 && Length < 32000 && Message && gCurrent) {
            std::wstring text = tessel::SystemUtility::FromAnsi(std::string_view(Message, Length));
            SlashesToBackslashes(text);
            gCurrent->RaiseProgress(text);
        }
    });
    return 0;
}

LONG WINAPI ZipPasswordCallback(char* Buffer, LONG_PTR, LONG_PTR, LONG_PTR) {
    if (gPasswordCancelled || !Buffer) return 1;
    LONG answer = 1;  // no password, also when asking for one failed
    tessel::PassOver([&] {
        std::wstring password;
        bool cancel = false;
        if (gCurrent) gCurrent->RaisePasswordRequest(password, cancel);
        password = tessel::text::TrimBlanks(password);
        if (password.empty() || cancel) {
            gPasswordCancelled = true;
            return;
        }
        // At most 254 bytes and the terminating zero, inside the 256 bytes of the buffer.
        const std::string ansi = tessel::SystemUtility::ToAnsi(password);
        const std::size_t n = std::min<std::size_t>(ansi.size(), zip::kPasswordBuffer - 2);
        std::memcpy(Buffer, ansi.data(), n);
        Buffer[n] = '\0';
        answer = 0;
    });
    return answer;
}

char* WINAPI ZipCommentCallback(char* Result, char* Buffer) {
    if (Buffer) Buffer[0] = '\0';
    if (Result && Buffer) std::memcpy(Result, Buffer, zip::kCommentBlock);
    return Result;
}

LONG WINAPI ZipServiceCallback(LONG_PTR, LONG_PTR) { return 0; }

}  // namespace mZip

}  // namespace velmora
