#include "groups/subject_sort.h"

#include <bit>
#include <deque>
#include <tuple>
#include <utility>

#include "groups/header_record.h"

namespace vexlo {

namespace {

class CSubjectSorter {
  public:
    CSubjectSorter(std::string_view file, uint32_t* offsets, uint32_t* lengths, uint64_t budget)
        : file_(file), off_(offsets), len_(lengths), budget_(budget) {}

    void Sort(ptrdiff_t lo, ptrdiff_t hi) {
        while (hi > lo) {
            if (hi - lo + 1 > kSmallRange) {
                if (figures_.comparisons > budget_) {
                    figures_.heapSorted = true;
                    HeapSort(lo, hi);
                    return;
                }
                if (InOrder(lo, hi)) {
                    SortInOrderRange(lo, hi);
                    return;
                }
            }
            const ptrdiff_t i = Partition(lo, hi);
            // The two sides are sorted independently of each other, so which
            // goes first changes nothing; the smaller one keeps the stack short.
            if (i - lo < hi - i) {
                Sort(lo, i - 1);
                lo = i + 1;
            } else {
                Sort(i + 1, hi);
                hi = i - 1;
            }
        }
    }

    const SubjectSortFigures& Figures() const { return figures_; }

  private:
    // Ranges this small are partitioned even past the budget: their worst
    // case is cheap and they keep the quicksort's order.
    static constexpr ptrdiff_t kSmallRange = 32;

    std::string_view Key(ptrdiff_t k) const {
        uint64_t start = uint64_t{off_[k]} + kHeaderFixedSize;
        if (start + len_[k] > file_.size()) return {};
        return {file_.data() + start, len_[k]};
    }
    int Compare(std::string_view a, std::string_view b) {
        ++figures_.comparisons;
        return CompareSubjects(a, b);
    }
    int Compare(ptrdiff_t a, ptrdiff_t b) { return Compare(Key(a), Key(b)); }

    void Swap(ptrdiff_t a, ptrdiff_t b) {
        std::swap(off_[a], off_[b]);
        std::swap(len_[a], len_[b]);
    }

    // One partition step as the message database describes it; the pivot's
    // final place.
    ptrdiff_t Partition(ptrdiff_t lo, ptrdiff_t hi) {
        const std::string_view pivot = Key(hi);
        ptrdiff_t i = lo;
        ptrdiff_t j = hi;
        for (;;) {
            while (i < hi && Compare(Key(i), pivot) < 0) ++i;
            // The entry left of lo (when there is one) is a pivot placed
            // before, never greater than this one, so stopping at lo gives the
            // same partition as scanning on to entry 0.
            if (j > 0) {
                do {
                    --j;
                } while (j > lo && Compare(Key(j), pivot) > 0);
            }
            if (i >= j) break;
            Swap(i, j);
        }
        Swap(i, hi);
        return i;
    }

    bool InOrder(ptrdiff_t lo, ptrdiff_t hi) {
        for (ptrdiff_t k = lo; k < hi; ++k)
            if (Compare(k, k + 1) > 0) return false;
        return true;
    }

    // A range in order: the partitions would take its largest subjects (the
    // last block of equal ones) as pivot, reorder only that block and go on
    // with the rest, which is in order again. So each block of equal subjects
    // ends as a range of one subject ends, and nothing else moves.
    void SortInOrderRange(ptrdiff_t lo, ptrdiff_t hi) {
        ptrdiff_t start = lo;
        for (ptrdiff_t k = lo; k <= hi; ++k) {
            if (k == hi || Compare(k, k + 1) != 0) {
                if (k > start) SortEqualRange(start, k);
                start = k + 1;
            }
        }
    }

    // A range of one subject b0 .. b(m-1): a partition puts b(m-1) first
    // (swapping the first entry with each other one from the back, then with
    // the pivot) and leaves b2 .. b(m-2), b0, b1 to sort behind it. Played
    // on a deque, that is one step per entry instead of a pass per entry.
    void SortEqualRange(ptrdiff_t lo, ptrdiff_t hi) {
        std::deque<std::pair<uint32_t, uint32_t>> rest;
        for (ptrdiff_t k = lo; k <= hi; ++k) rest.emplace_back(off_[k], len_[k]);
        for (ptrdiff_t k = lo; k <= hi; ++k) {
            std::tie(off_[k], len_[k]) = rest.back();
            rest.pop_back();
            for (int turn = 0; turn < 2 && rest.size() >= 2; ++turn) {
                rest.push_back(rest.front());
                rest.pop_front();
            }
        }
    }

    bool Less(ptrdiff_t a, ptrdiff_t b) { return Compare(a, b) < 0; }

    void SiftDown(ptrdiff_t base, ptrdiff_t root, ptrdiff_t count) {
        for (;;) {
            ptrdiff_t child = 2 * root + 1;
            if (child >= count) return;
            if (child + 1 < count && Less(base + child, base + child + 1)) ++child;
            if (!Less(base + root, base + child)) return;
            Swap(base + root, base + child);
            root = child;
        }
    }

    void HeapSort(ptrdiff_t lo, ptrdiff_t hi) {
        ptrdiff_t count = hi - lo + 1;
        for (ptrdiff_t k = count / 2 - 1; k >= 0; --k) SiftDown(lo, k, count);
        for (ptrdiff_t end = count - 1; end > 0; --end) {
            Swap(lo, lo + end);
            SiftDown(lo, 0, end);
        }
    }

    std::string_view file_;
    uint32_t* off_;
    uint32_t* len_;
    const uint64_t budget_;
    SubjectSortFigures figures_;
};

}  // namespace

SubjectSortFigures SortSubjects(std::string_view file, uint32_t* offsets, uint32_t* subjectLengths,
                                size_t n) {
    if (n < 2) return {};
    const uint64_t budget =
        kComparisonsPerEntryLevel * n * std::bit_width(n) + kComparisonAllowance;
    CSubjectSorter sorter(file, offsets, subjectLengths, budget);
    sorter.Sort(0, static_cast<ptrdiff_t>(n) - 1);
    return sorter.Figures();
}

}  // namespace vexlo
