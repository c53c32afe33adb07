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

// Merges the old .MSG (file order) with the new headers of `received` (the
// .XOV, in the order of `newOffsets`) into `outputPath` (the .XOT) headed by
// (first, last). Old records outside [first, last] are dropped while new ones
// remain; new records whose article is in `messageNumbers` (sorted) are
// skipped; on equal subjects the new record comes first. `count` gets the
// records written. The output is written under "<name>.tmp" and appears only
// when whole; false when an input cannot be opened or has no header, or the
// output cannot be written.
bool MergeNewHeaders(const std::string& outputPath, const std::vector<uint32_t>& newOffsets,
                     const std::vector<uint32_t>& messageNumbers, CHeaderFile& received,
                     const std::string& msgPath, uint32_t first, uint32_t last, uint32_t& count);

// The scan merge, run after sorting when the group had a consistent .MSG/.BIN
// pair: the received headers (`received`, the .XOV, read in the order of
// `index`) and the old .MSG are merged into the .XOT, and `mergedIndex` lists
// the .XOT's records (already in subject order) through `merged`, which stands
// for the .XOT. The .XOV and the .MSG are left as they are: the scan's commit
// replaces them (groups/scan_commit.h). Failures return the status texts
// above, with no .XOT left.
ScanStepResult RunScanMerge(const GroupFilePaths& paths, CHeaderFile& received,
                            const HeaderIndex& index, const std::vector<uint32_t>& messageNumbers,
                            uint32_t first, uint32_t last, CHeaderFile& merged,
                            HeaderIndex& mergedIndex);

// Writes a .MSG (the scan writes the .MSG.NEXT): header (first, last), then
// the record at each offset, in list order, whose article lies in [first,
// last] and is not in `usedArticles`. An offset without a whole fixed part is
// skipped; a record whose texts are cut short fails. The file is written under
// "<name>.tmp" and replaced only on success; on failure no file is left at
// `msgPath`. `count` gets the records written.
bool WriteMessageFile(CHeaderFile& source, const std::vector<uint32_t>& offsets,
                      const CArticleSet& usedArticles, uint32_t first, uint32_t last,
                      const std::string& msgPath, uint32_t& count);

}  // namespace vexlo
