// The plan of one run of the zip library: which entries the new archive holds, in order, from
// the old archive's entries and the files named for the run. Pure: names and times in, steps
// out, so that every rule of adding, updating, freshening and deleting is seen without files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::zip {

// An entry of the old archive or a file to add: its name as the archive writes it ("/"
// separated; a folder's ends in "/") and its time in the archive's form (DOS date in the high
// word, DOS time in the low).
struct PlanName {
    std::wstring name;
    std::uint32_t dosTime = 0;
};

// What the run asks for, from its options.
struct PlanRequest {
    bool deleting = false;       // delete the old entries that the patterns match
    bool onlyIfNewer = false;    // replace an entry only by a newer file
    bool freshenOnly = false;    // replace entries by newer files, add nothing new
    std::vector<std::wstring> patterns;  // the names asked for when deleting (wildcards allowed)
};

// One entry of the new archive: an old entry kept (its index) or a file written (its index).
struct PlanStep {
    int old = -1;
    int source = -1;
    bool operator==(const PlanStep&) const = default;
};

struct ArchivePlan {
    std::vector<PlanStep> steps;
    std::vector<int> deleted;  // indexes of the old entries a deletion drops, in archive order
    // Nothing to write: no entry matched a deletion, or no file is to be written.
    bool nothingToDo = false;
};

// Names compare as the file system compares them: without regard to case, "\" as "/".
std::wstring FoldName(std::wstring name);

// The plan. An old entry whose name a file has keeps its place, written anew from that file
// unless the run updates only by newer files and the file is not newer; the files of no old
// entry follow, in their order, unless the run only freshens.
ArchivePlan PlanArchive(const std::vector<PlanName>& old, const std::vector<PlanName>& sources,
                        const PlanRequest& request);

}  // namespace velmora::zip
