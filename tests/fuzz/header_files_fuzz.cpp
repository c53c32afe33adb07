// The header database files: the input as a group's .XOV (index, sort, a pass
// in subject order, the .MSG writer, the resume point of an interrupted
// scan), as its .MSG and as its .BIN (the number loaders, the scan range, the
// binary records).
#include "fuzz_support.h"
#include "groups/article_set.h"
#include "groups/binary_match.h"
#include "groups/group_files.h"
#include "groups/message_db.h"
#include "groups/scan_helpers.h"
#include "platform/file.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dataDir = fuzz::AppDir() + "DATA/";
    const GroupFilePaths p = GroupFilePaths::Make(dataDir, "g");

    fuzz::WriteInput(p.xov, data, size);
    {
        CHeaderFile xov(p.xov);
        HeaderIndex index;
        if (IndexHeaderRecords(xov, index) && SortHeaderRecords(xov, index)) {
            CHeaderPass pass(xov, index.offsets);
            HeaderRecord record;
            for (size_t k = 0; pass.Ok() && k < index.Size(); ++k)
                fuzz::Require(pass.Read(k, record) == CHeaderPass::Result::kRecord,
                              "indexed records read whole");
            uint32_t count = 0;
            WriteMessageFile(xov, index.offsets, CArticleSet(), 0, 0xFFFFFFFFu, p.msg, count);
            fuzz::Require(count == index.Size(), "every record written");
        }
    }
    uint32_t headerStart, headerEnd, firstArticle, lastArticle;
    GetOverviewResumeInfo(p.xov, headerStart, headerEnd, firstArticle, lastArticle);

    fuzz::WriteInput(p.msg, data, size);
    fuzz::WriteInput(p.bin, data, size);
    std::vector<uint32_t> numbers;
    LoadMessageNumbers(dataDir, "g", numbers);
    LoadBinaryNumbers(dataDir, "g", numbers);
    uint32_t first, last;
    GetScanRange(dataDir, "g", first, last);
    CFile bin;
    if (bin.Open(p.bin, CFile::Mode::Read)) {
        CRecordReader in(bin);
        CBinaryItem item;
        if (in.Skip(8)) {
            while (item.Read(in)) {
                fuzz::Require(item.GetLines().size() == item.PartCount(), "parallel lists");
                item.LowestArticle();
            }
        }
    }
    for (const std::string* path : {&p.xov, &p.msg, &p.bin}) RemoveFile(*path);
    return 0;
}
