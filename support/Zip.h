// The zip archive wrapper: adds files to an archive, or deletes entries from one, by handing
// the zip library its options record, the list of file names and its callbacks.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "support/ZipRecords.h"

namespace velmora {

class cZip {
public:
    cZip();
    ~cZip();
    cZip(const cZip&) = delete;
    cZip& operator=(const cZip&) = delete;

    const std::wstring& ZipFile() const { return ZipFile_; }
    void ZipFile(const std::wstring& sFileName) { ZipFile_ = sFileName; }
    const std::wstring& BasePath() const { return BasePath_; }
    void BasePath(const std::wstring& sBasePath);
    bool Encrypt() const { return Options_.Encrypt != 0; }
    void Encrypt(bool bState) { Options_.Encrypt = bState ? 1 : 0; }
    bool IncludeSystemAndHiddenFiles() const { return Options_.IncludeSystemAndHidden != 0; }
    void IncludeSystemAndHiddenFiles(bool bState) { Options_.IncludeSystemAndHidden = bState ? 1 : 0; }
    bool StoreVolumeLabel() const { return Options_.VolumeLabel != 0; }
    void StoreVolumeLabel(bool bState) { Options_.VolumeLabel = bState ? 1 : 0; }
    bool StoreDirectories() const { return Options_.NoDirectoryEntries == 0; }
    void StoreDirectories(bool bState) { Options_.NoDirectoryEntries = bState ? 0 : 1; }
    bool StoreFolderNames() const { return Options_.JunkFolderNames == 0; }
    void StoreFolderNames(bool bState) { Options_.JunkFolderNames = bState ? 0 : 1; }
    bool RecurseSubDirs() const { return Options_.Recurse != 0; }
    void RecurseSubDirs(bool bState) { Options_.Recurse = bState ? 2 : 0; }
    bool UpdateOnlyIfNewer() const { return Options_.UpdateIfNewer != 0; }
    void UpdateOnlyIfNewer(bool bState) { Options_.UpdateIfNewer = bState ? 1 : 0; }
    bool FreshenFiles() const { return Options_.FreshenOnly != 0; }
    void FreshenFiles(bool bState) { Options_.FreshenOnly = bState ? 1 : 0; }
    // 0 verbose, 1 quiet, 2 neither; any other value changes nothing.
    long MessageLevel() const { return Options_.Verbose ? 0 : Options_.Quiet ? 1 : 2; }
    void MessageLevel(long eLevel);
    bool ConvertCRLFToLF() const { return Options_.CrlfToLf != 0; }
    void ConvertCRLFToLF(bool bState) { Options_.CrlfToLf = bState ? 1 : 0; }
    bool ConvertLFToCRLF() const { return Options_.LfToCrlf != 0; }
    void ConvertLFToCRLF(bool bState) { Options_.LfToCrlf = bState ? 1 : 0; }

    void ClearFileSpecs() { Patterns_.clear(); }
    long AddFileSpec(const std::wstring& sPattern) {
        Patterns_.push_back(sPattern);
        return 0;
    }
    long FileSpecCount() const { return static_cast<long>(Patterns_.size()); }
    // 1-based; a position outside the list raises a subscript error.
    const std::wstring& FileSpec(long nIndex) const;

    bool AllowAppend() const { return Options_.AllowAppend == 1; }
    void AllowAppend(bool bState) { Options_.AllowAppend = bState ? 1 : 0; }

    // One run each; the library's result is not reported (the archive shows it).
    void Zip();
    void Delete();

    // The record as the library gets it.
    const zip::ZipOptions& Options() const { return Options_; }

    // Events; a listener may change the values passed by reference.
    std::function<void(const std::wstring& sMsg, bool& bCancel)> Cancel;
    std::function<void(std::wstring& sPassword, bool& bCancel)> PasswordRequest;
    std::function<void(long lCount, const std::wstring& sMsg)> Progress;

    // Raised by the callbacks of a run.
    void RaiseProgress(const std::wstring& sMsg);
    void RaisePasswordRequest(std::wstring& sPassword, bool& bCancel);
    void RaiseCancel(const std::wstring& sMsg, bool& bCancel);

private:
    friend long RunZip(cZip& Zip, zip::ZipOptions& Options, const std::vector<std::wstring>& FilePatterns, long Count);

    std::wstring ZipFile_;
    std::wstring BasePath_;
    std::string BasePathAnsi_;  // what the record's root-folder field points at
    zip::ZipOptions Options_{};
    std::vector<std::wstring> Patterns_;
};

// One library run for Zip: its callbacks registered, its options set, its file names in the slots.
// Returns the library's result. More file names than the name slots hold raise a subscript error
// before the library is asked to archive anything.
long RunZip(cZip& Zip, zip::ZipOptions& Options, const std::vector<std::wstring>& FilePatterns, long Count);

// The library's three entry points as the wrapper reaches them; a test may put its own in
// place for a while (ScopedZipLibrary) to see what the wrapper hands over.
struct ZipLibraryCalls {
    std::function<LONG(zip::ZipCallbacks*)> Init = zip::ZpInit;
    std::function<LONG(zip::ZipOptions*)> SetOptions = zip::ZpSetOptions;
    std::function<LONG(LONG, const char*, zip::ZipNames*)> Archive = zip::ZpArchive;
};
ZipLibraryCalls& ZipLibrary();

// The callbacks that the library calls during a run.
namespace mZip {
LONG WINAPI ZipPrintCallback(const char* Message, ULONG Length);
LONG WINAPI ZipPasswordCallback(char* Buffer, LONG_PTR, LONG_PTR, LONG_PTR);
char* WINAPI ZipCommentCallback(char* Result, char* Buffer);
LONG WINAPI ZipServiceCallback(LONG_PTR, LONG_PTR);
// Turns every "/" after the first character into "\".
void SlashesToBackslashes(std::wstring& Text);
// The archive whose run the callbacks serve; set at the start of a run.
cZip* CurrentArchive();
void BeginRun(cZip& Zip);
}  // namespace mZip

}  // namespace velmora
