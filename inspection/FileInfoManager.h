// A file's company name and description from its version resource, remembered per file
// name for the life of the object. Nothing is logged.
#pragma once
#include <memory>
#include <string>

#include "tessel/KeyedList.h"

namespace tessel { class Logger; }

namespace velmora {

class CFileInfoManager {
public:
    CFileInfoManager();
    ~CFileInfoManager();
    CFileInfoManager(const CFileInfoManager&) = delete;
    CFileInfoManager& operator=(const CFileInfoManager&) = delete;

    // Keeps the Logger and makes the empty cache; GetFileInfo fails before it.
    void Init(tessel::Logger& Log);

    // Sets the "CompanyName" and "FileDescription" strings of the file (each empty when it is
    // absent, when the file has no version resource or when there is no such file). Either
    // output may be left out; the file is read and the answer cached all the same.
    void GetFileInfo(const std::wstring& Filename, std::wstring* Manufacturer = nullptr,
                     std::wstring* FileDescription = nullptr);

private:
    struct Facts {
        std::wstring M;  // company name
        std::wstring D;  // file description
    };

    tessel::Logger* Log_ = nullptr;
    std::unique_ptr<tessel::KeyedList<Facts>> FileInfoCache;
};

}  // namespace velmora
