#include "groups/scan_commit.h"

#include "groups/scan_steps.h"
#include "platform/file.h"

namespace vexlo {

namespace {

bool Exists(const std::string& path) {
    return FileSize(path) >= 0;
}

// Removes a file and the temporary file it is written under.
void RemoveWithTemp(const std::string& path) {
    RemoveFile(path);
    RemoveFile(path + ".tmp");
}

bool Sync(const std::string& path) {
    CFile file;
    return file.Open(path, CFile::Mode::Read) && file.Sync();
}

// Step 3: the next files in place, the scan's other files gone.
void RollForward(const GroupFilePaths& p) {
    ScanFileStep("rename .MSG.NEXT to .MSG");
    if (Exists(p.nextMsg)) RenameFile(p.nextMsg, p.msg);
    ScanFileStep("rename .BIN.NEXT to .BIN");
    if (Exists(p.nextBin)) RenameFile(p.nextBin, p.bin);
    ScanFileStep("remove .NEW");
    RemoveFile(p.newBin);
    ScanFileStep("remove .XOT");
    RemoveWithTemp(p.xot);
}

}  // namespace

void DiscardScanFiles(const GroupFilePaths& p) {
    for (const std::string* path : {&p.nextBin, &p.nextMsg, &p.newBin, &p.xot})
        RemoveWithTemp(*path);
}

bool RecoveryReplacesThePair(const GroupFilePaths& p) {
    return Exists(p.oldBin) || (!Exists(p.xov) && (Exists(p.nextBin) || Exists(p.nextMsg)));
}

void RecoverScanFiles(const GroupFilePaths& p) {
    // A .BIN moved aside by an earlier version's merge comes back.
    if (Exists(p.oldBin) && (Exists(p.bin) || !RenameFile(p.oldBin, p.bin))) RemoveFile(p.oldBin);
    if (Exists(p.xov)) {
        DiscardScanFiles(p);
        return;
    }
    RemoveFile(p.nextBin + ".tmp");
    RemoveFile(p.nextMsg + ".tmp");
    RollForward(p);
}

bool CommitScanFiles(const GroupFilePaths& p) {
    ScanFileStep("flush .BIN.NEXT and .MSG.NEXT");
    if (!Sync(p.nextBin) || !Sync(p.nextMsg)) return false;
    ScanFileStep("commit");
    if (Exists(p.xov) && !RemoveFile(p.xov)) return false;
    RollForward(p);
    return true;
}

}  // namespace vexlo
