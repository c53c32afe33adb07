// The subject sort of a header file's record index: the quicksort whose order
// for equal subjects the binary matching relies on (records with equal
// subjects end in the order its partition steps give).
//
// The quicksort takes the last entry of a range as its pivot and works as the
// message database describes it. Its result is kept exactly on every input it
// finishes within a budget of comparisons: kComparisonsPerEntryLevel for each
// entry and level of a balanced sort (n * log2(n) * that) plus
// kComparisonAllowance, of which natural server order spends a small part. Two kinds of range that
// would make it quadratic are finished at once with exactly the order it would give:
//   - a range already in order (not descending anywhere): equal subjects are
//     reordered block by block as the partitions would reorder them, the
//     rest stays;
//   - so also a range of one subject only (a flood).
// Only an input that still spends the whole budget (descending runs of many
// thousands of records, and the like) has its remaining large ranges
// finished with a heap sort: sorted correctly, but with equal subjects in
// another order than the quicksort's.
//
// Keys are read from the mapped file for every comparison; only the index
// lists are in memory. Recursion goes into the smaller side of a partition,
// so the stack stays below log2(n) levels. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vexlo {

inline constexpr uint64_t kComparisonsPerEntryLevel = 16;
// And beyond that, for every input: small inputs never leave the quicksort.
inline constexpr uint64_t kComparisonAllowance = uint64_t{1} << 22;

struct SubjectSortFigures {
    uint64_t comparisons = 0;
    bool heapSorted = false;  // the budget ran out: some equal subjects may be in another order
};

// Sorts `n` entries of the two parallel lists by the subject of the header
// record at each offset (case-insensitive compare, CompareSubjects).
SubjectSortFigures SortSubjects(std::string_view file, uint32_t* offsets, uint32_t* subjectLengths,
                                size_t n);

}  // namespace vexlo
