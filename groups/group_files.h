// The names of one group's header database files in the data directory.
//
//   .XOV       headers received by a scan (continued when a scan is interrupted)
//   .XOT       the received headers merged with the old .MSG, in subject order
//   .MSG       headers that belong to no complete binary, in subject order
//   .BIN       matched binaries, in subject order
//   .NEW       this scan's binaries while they are merged with the old ones
//   .OLD       the previous .BIN during that merge (written by earlier versions)
//   .BIN.NEXT  the next .BIN and .MSG, whole, waiting for the scan's commit or
//   .MSG.NEXT  for their renaming (see groups/scan_commit.h)
#pragma once

#include <string>

namespace vexlo {

struct GroupFilePaths {
    std::string xov, xot, msg, bin, newBin, oldBin, nextBin, nextMsg;

    // `dataDir` may lack its final "/"; one is added.
    static GroupFilePaths Make(std::string dataDir, const std::string& groupName) {
        if (dataDir.empty() || dataDir.back() != '/') dataDir += '/';
        std::string p = dataDir + groupName;
        return {p + ".XOV", p + ".XOT", p + ".MSG",      p + ".BIN",
                p + ".NEW", p + ".OLD", p + ".BIN.NEXT", p + ".MSG.NEXT"};
    }
};

}  // namespace vexlo
