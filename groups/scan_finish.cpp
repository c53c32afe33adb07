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
    CHeaderFile headers(paths.xov);
    HeaderIndex index;
    if (!IndexHeaderRecords(headers, index) || !SortHeaderRecords(headers, index)) {
        return ScanStepResult::Failure(kStatusReadXoverFailed);
    }
    post(kProgressMerging);

    if (input.haveData) {
        static const std::vector<uint32_t> kNone;
        const auto& numbers = input.messageNumbers ? *input.messageNumbers : kNone;
        ScanStepResult merged =
            RunScanMerge(paths, headers, index, numbers, input.first, input.last);
        if (!merged.ok) return merged;
    }
    // Matching needs the offsets only.
    std::vector<uint32_t>().swap(index.subjectLengths);

    post(kProgressMatching);
    ScanStepResult r = MatchBinaries(locks, abortFlag, input.dataDir, input.groupName, headers,
                                     index.offsets, input.haveData, input.first, input.last);
    if (!r.ok) {
        // After the merge the .XOV holds the old messages and the new headers
        // in subject order, and the old .MSG is gone. A later scan must not
        // continue that file as if it were received headers in server order
        // (it would ask from behind the article of its last subject and drop
        // or repeat articles); without it, the group has no .MSG/.BIN pair and
        // the next scan asks again from the server's first article.
        if (input.haveData) {
            headers.Close();
            RemoveFile(paths.xov);
        }
        return r;
    }
    headers.Close();
    RemoveFile(paths.xov);
    r.statusText = kStatusScanSucceeded;
    return r;
}

}  // namespace vexlo
