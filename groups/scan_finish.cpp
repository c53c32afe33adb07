#include "groups/scan_finish.h"

#include "groups/binary_match.h"
#include "groups/group_files.h"
#include "groups/message_db.h"
#include "tasks/progress_table.h"

namespace vexlo {

ScanStepResult FinishHeaderScan(CNamedLocks& locks, const std::atomic<uint32_t>& abortFlag,
                                const ScanFinishInput& input,
                                const std::function<void(uint32_t state)>& onState) {
    auto post = [&](uint32_t state) {
        if (onState) onState(state);
    };
    const GroupFilePaths paths = GroupFilePaths::Make(input.dataDir, input.groupName);

    post(kProgressSorting);
    CHeaderFile received(paths.xov);
    HeaderIndex index;
    if (!IndexHeaderRecords(received, index) || !SortHeaderRecords(received, index)) {
        return ScanStepResult::Failure(kStatusReadXoverFailed);
    }
    post(kProgressMerging);

    // The matching reads the received headers, or with old data their merge
    // with the old .MSG (the .XOT).
    CHeaderFile merged(paths.xot);
    CHeaderFile* headers = &received;
    if (input.haveData) {
        static const std::vector<uint32_t> kNone;
        const auto& numbers = input.messageNumbers ? *input.messageNumbers : kNone;
        HeaderIndex mergedIndex;
        ScanStepResult r = RunScanMerge(paths, received, index, numbers, input.first, input.last,
                                        merged, mergedIndex);
        if (!r.ok) return r;
        received.Close();
        index = std::move(mergedIndex);
        headers = &merged;
    }
    // Matching needs the offsets only.
    std::vector<uint32_t>().swap(index.subjectLengths);

    post(kProgressMatching);
    ScanStepResult r = MatchBinaries(locks, abortFlag, input.dataDir, input.groupName, *headers,
                                     index.offsets, input.haveData, input.first, input.last);
    if (r.ok) r.statusText = kStatusScanSucceeded;
    return r;
}

}  // namespace vexlo
