// The message database: indexing and sorting a header file by subject, the
// merge of a scan's new headers with the group's old .MSG, and the writer of
// the new .MSG.
//
// .MSG layout: first and last (u32, the server's article range at the scan that
// wrote it), then header records sorted by subject, case-insensitively.
//
// A header file is handled through its record index: the offset of every
// record and the length of its subject. Sorting keeps only that index in
// memory and reads each subject from the mapped file when it compares two;
// the other passes read records through CHeaderPass.
// Everything here runs on the scanning channel's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "groups/article_set.h"
#include "groups/group_files.h"
#include "groups/header_file.h"
#include "groups/scan_step.h"

namespace vexlo {

// Status texts of the scan merge.
inline constexpr const char* kStatusMergeFailed = "Error Merging XOT With MSG";
inline constexpr const char* kStatusReopenFailed = "Error Re-Opening XOV File";
inline constexpr const char* kStatusIndexMergedFailed = "Error Getting Message Offsets [XOV]";

// Two parallel lists: the file offset of each record and its subject length.
struct HeaderIndex {
    std::vector<uint32_t> offsets;
    std::vector<uint32_t> subjectLengths;

    size_t Size() const { return offsets.size(); }
    // Empties both lists and gives their memory back.
    void Clear();
};

// Lists every whole record behind the 8-byte file header, in file order. Ends
// at the first record that is cut short or damaged (a text over its bound),
// and before a record that would start past 4 GiB. False only when the file
// cannot be opened or has no whole 8-byte header.
bool IndexHeaderRecords(CHeaderFile& file, HeaderIndex& index);

// Sorts the index by subject (CompareSubjects), reading subjects from `file`:
// the quicksort of groups/subject_sort.h, whose order for equal subjects the
// matching relies on. False (index unchanged) when the file cannot be mapped.
bool SortHeaderRecords(CHeaderFile& file, HeaderIndex& index);

// Merges the old .MSG (file order) with the new headers of `xot` (the .XOT, in
// the order of `xotOffsets`) into a new .XOV headed by (first, last). Old records
// outside [first, last] are dropped while new ones remain; new records whose
// article is in `messageNumbers` (sorted) are skipped; on equal subjects the
// new record comes first. `count` gets the records written. False when an
// input cannot be opened or has no header, or the output cannot be written;
// no .XOV is left behind then.
bool MergeNewHeaders(const std::string& xovPath, const std::vector<uint32_t>& xotOffsets,
                     const std::vector<uint32_t>& messageNumbers, const std::string& xotPath,
                     const std::string& msgPath, uint32_t first, uint32_t last, uint32_t& count);

// The scan merge, run after sorting when the group had a consistent .MSG/.BIN
// pair: the .XOV becomes the .XOT, is merged with the .MSG into a new .XOV,
// and .XOT and .MSG are deleted. `headers` stands for the .XOV on entry (its
// map, if any, is reused for the .XOT) and for the merged .XOV on success,
// when `index` lists its records (already in subject order). Failures return
// the status texts above.
ScanStepResult RunScanMerge(const GroupFilePaths& paths, CHeaderFile& headers, HeaderIndex& index,
                            const std::vector<uint32_t>& messageNumbers, uint32_t first,
                            uint32_t last);

// Writes the new .MSG: header (first, last), then the record at each offset, in
// list order, whose article lies in [first, last] and is not in `usedArticles`.
// An offset without a whole fixed part is skipped; a record whose
// texts are cut short fails. The file is replaced only on success; on failure
// no .MSG is left. `count` gets the records written.
bool WriteMessageFile(CHeaderFile& source, const std::vector<uint32_t>& offsets,
                      const CArticleSet& usedArticles, uint32_t first, uint32_t last,
                      const std::string& msgPath, uint32_t& count);

}  // namespace vexlo
