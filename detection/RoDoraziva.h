// The parasite detector: the four fingerprint lists (known parasite and known-good sizes and
// checksums) and the tests that class a module or a Browser Helper Object's file as a known
// parasite, known-good or suspicious.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "tessel/KeyedList.h"
#include "tessel/Logger.h"

namespace velmora {

class CFileInfoManager;
class DetectionSource;

// The key of a number in a fingerprint list: "_" and the number in decimal.
std::wstring FingerprintKey(std::int32_t number);

enum class FingerprintList { ParasiteSizes, ParasiteChecksums, GoodSizes, GoodChecksums };

class CRoDoraziva {
public:
    // Builds the four lists afresh for this detector.
    CRoDoraziva();
    ~CRoDoraziva();
    CRoDoraziva(const CRoDoraziva&) = delete;
    CRoDoraziva& operator=(const CRoDoraziva&) = delete;

    // Keeps the Logger. Without a file-information manager (the usual call) the detector
    // makes one of its own and gives it the same Logger; one that is passed must outlive
    // the detector.
    void Init(tessel::Logger& Log, CFileInfoManager* FileInfoManager = nullptr);

    // Each test answers for one full path as the caller has it. An error inside a test is
    // logged at level 0 under the test's own name, and the answer is then False.
    bool IsSuspiciousRunningModule(const std::wstring& Filename);
    bool IsGoodRunningModule(const std::wstring& Filename);
    bool IsSuspiciousBHO(const std::wstring& Filename);
    bool IsParasiteBHO(const std::wstring& Filename);
    bool IsParasiteRunningModule(const std::wstring& Filename);

    // The detection run: the parasite files to disable and the Browser Helper Object
    // registrations to delete, each listed once in the order found. False when the run did
    // not complete (a listing failed or left something out, or an error ended it): its lists
    // then hold what was found so far and never stand for a clean machine. The live system
    // is inspected unless a source is given.
    bool DetectParasites(tessel::KeyedList<std::wstring>& DetectedFiles, tessel::KeyedList<std::wstring>& DetectedBHOs,
                         DetectionSource* source = nullptr);
    // Every suspicious process, module and Browser Helper Object file, then the files of
    // the detection run. False when it did not complete.
    bool DetectSuspiciousFiles(tessel::KeyedList<std::wstring>& DetectedFiles, DetectionSource* source = nullptr);
    // The suspicious-files report: FF FE and the UTF-16LE XML document, one byte per char;
    // empty after a failure.
    std::string MakeSuspiciousFilesXML(DetectionSource* source = nullptr);

    // The lists as they were filled, for reports and checks; they never change.
    const tessel::KeyedList<std::int32_t>& Fingerprints(FingerprintList which) const;

private:
    void FillParasiteSizes();
    void FillParasiteChecksums();
    void FillGoodSizes();
    void FillGoodChecksums();

    // The file's company name by the file-information manager; raises without one.
    std::wstring CompanyName(const std::wstring& Filename);
    // BHO files without a company name, less the exempt ones that both BHO tests share.
    bool IsUnmarkedBHO(const std::wstring& Filename);

    tessel::Logger NoLog_;  // stands in until Init: entries logged to it are dropped
    tessel::Logger* Log_ = &NoLog_;
    CFileInfoManager* FileInfoManager_ = nullptr;
    std::unique_ptr<CFileInfoManager> OwnFileInfoManager_;
    tessel::KeyedList<std::int32_t> ParasiteSizes;
    tessel::KeyedList<std::int32_t> ParasiteChecksums;
    tessel::KeyedList<std::int32_t> GoodSizes;
    tessel::KeyedList<std::int32_t> GoodChecksums;
};

}  // namespace velmora
