#include "groups/group_list.h"

#include <cerrno>
#include <cstring>
#include <functional>

#include "core/damaged_file.h"
#include "group_test_files.h"
#include "groups/group_file.h"
#include "groups/group_folder.h"

namespace vexlo {
namespace {

using namespace test;
using Kind = GroupListChange::Kind;
constexpr auto Le32 = &U32Bytes;  // the group file's integers

// Runs `onRetryPrompt` each time a Retry/Cancel box comes up, then answers Retry.
class CActingMessageBox : public CRecordingMessageBox {
  public:
    std::function<void()> onRetryPrompt;
    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override {
        MessageAnswer answer = CRecordingMessageBox::Show(text, icon, buttons);
        if (buttons == MessageButtons::RetryCancel && onRetryPrompt) onRetryPrompt();
        return answer;
    }
};

GroupRecord Record(std::string name, int32_t bin, std::string scan = "", std::string dir = "") {
    return GroupRecord{std::move(name), bin, 0, 0, std::move(scan), std::move(dir)};
}

std::string IncompleteText(int expected, int read) {
    return "Warning: Not All Group Names Read From _GROUPS.DAT File.\r\nExpected " +
           std::to_string(expected) + " Newsgroups, but only read " + std::to_string(read) + ".";
}

std::string DamagedText(int read) {
    return "Warning: The _GROUPS.DAT File Is Damaged.\r\nOnly " + std::to_string(read) +
           " Newsgroups Could Be Read From It.";
}

// The warning about a group a scan holds; `again` ends the retry line.
std::string LockedText(const std::string& group, const char* again) {
    return "Newsgroup: " + group +
           "\r\n\r\nWARNING: Unable to Lock Newsgroup!\r\n\r\n"
           "It is probably locked because it is being updated.\r\n\r\nClick Retry To Try Again" +
           again + "\r\nClick Cancel to skip this group.";
}

class GroupListTest : public AppFilesTest<CActingMessageBox> {
  protected:
    Strings Names() const {
        Strings names;
        for (int i = 0; i < groups.Count(); ++i) names.push_back(groups.Group(i).name);
        return names;
    }
    // Adds the groups, each with every data file (one byte each).
    void AddWithFiles(const Strings& names, const std::string& folder = "") {
        for (const auto& g : names) {
            groups.AddGroup(g, folder);
            for (const char* ext :
                 {kMsgExt, kBinExt, kXovExt, kXotExt, kNewExt, kOldExt, ".BIN.NEXT", ".MSG.NEXT"})
                WriteFileBytes(Data(g + ext), "x");
        }
    }
    // How many of the group's .BIN and .MSG are there, the next ones of a
    // killed scan's commit included (a scan would put them in place).
    int PairFiles(const std::string& group) {
        int n = 0;
        for (const char* ext : {".BIN", ".MSG", ".BIN.NEXT", ".MSG.NEXT"})
            n += FileSize(Data(group + ext)) == 1;
        return n;
    }
    // Loads `bytes` as the group file; the names read.
    Strings Load(const std::string& bytes, FileAccess access = FileAccess::kOwner) {
        box.Clear();
        WriteFileBytes(groups.GroupFilePath(), bytes);
        groups.LoadGroupFile(access);
        return Names();
    }
};

// ---- The group file ----

// The file's layout is written by hand below ("unusable"); the encoder must
// agree with the reader.
TEST_F(GroupListTest, DamagedFilesAreKeptAsACopyBeforeAnythingOverwritesThem) {
    const std::vector<GroupRecord> records = {Record("a", 1, "s", "/d/"), Record("b", 4)};
    const std::string whole = EncodeGroupFile(records);
    const std::string good = EncodeGroupFile({Record("a.good", 1)}).substr(4);
    // Records written by hand: the encoder itself cuts texts at 259.
    auto raw = [](int32_t bin, int32_t name, int32_t dir, int32_t scan, const std::string& texts) {
        return Le32(bin) + Le32(0) + Le32(0) + Le32(name) + Le32(dir) + Le32(scan) + texts;
    };
    auto badLength = [&](int32_t length) {
        return Le32(3) + good + raw(0, 1, length, 0, "b") + good;
    };
    const std::string unusable =
        Le32(4) + raw(0, 9, 0, 0, "../escape") + raw(0, 260, 0, 0, std::string(260, 'n')) +
        raw(0, 0, 0, 0, "") +
        raw(7, 6, 300, 270, "z.kept" + std::string(300, 'd') + std::string(270, 's'));
    // The records read and the message: the incomplete-file warning when the
    // file ends inside a record, otherwise the damaged-file one.
    const struct {
        const char* what;
        std::string bytes;
        Strings names;
        std::string text;
    } shapes[] = {
        {"no bytes", "", {}, DamagedText(0)},
        {"count cut short", "\x01\x00", {}, DamagedText(0)},
        {"negative count", Le32(-5), {}, DamagedText(0)},
        {"bytes behind a count of 0", Le32(0) + "abc", {}, DamagedText(0)},
        {"record cut short", whole.substr(0, whole.size() - 1), {"a"}, IncompleteText(2, 1)},
        {"negative length", badLength(-1), {"a.good"}, IncompleteText(3, 1)},
        {"length past the end", badLength(0x7FFFFFFF), {"a.good"}, IncompleteText(3, 1)},
        {"unusable names", unusable, {"z.kept"}, DamagedText(1)},
        {"bytes behind the last record", whole + "junk", {"a", "b"}, DamagedText(2)},
    };
    const std::string copy = groups.GroupFilePath() + ".bad";
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.what);
        for (FileAccess access : {FileAccess::kReadOnly, FileAccess::kOwner}) {
            RemoveFile(copy);
            EXPECT_EQ(Load(shape.bytes, access), shape.names);
            if (access == FileAccess::kReadOnly) {  // tells, changes nothing
                EXPECT_EQ(box.Texts(), Strings{shape.text});
                EXPECT_EQ(FileSize(copy), -1);
                continue;
            }
            EXPECT_EQ(
                box.Texts(),
                Strings{shape.text + "\r\nA copy of the damaged file was kept as " + copy + "."});
            EXPECT_EQ(box.Messages()[0].icon, MessageIcon::Exclamation);
            ASSERT_TRUE(groups.SaveGroupFile());
            EXPECT_EQ(ReadFileBytes(copy), shape.bytes);
        }
    }
    // Loading the unusable names cut the long texts of the usable record.
    Load(unusable);
    EXPECT_EQ(groups.Group(0), Record("z.kept", 7, std::string(259, 's'), std::string(259, 'd')));

    // Whole files say nothing and keep no copy: an unsorted one is put into
    // name order and saved back in that order with every field; a missing one.
    RemoveFile(copy);
    const GroupRecord B = Record("B", 2, "", "/b"), c{"c", 3, -1, 2147483647, "(NEVER)", "/c/"};
    EXPECT_EQ(Load(EncodeGroupFile({c, records[0], B})), (Strings{"a", "B", "c"}));
    EXPECT_EQ(groups.Group(0), records[0]);
    ASSERT_TRUE(groups.SaveGroupFile());
    EXPECT_EQ(ReadFileBytes(groups.GroupFilePath()), EncodeGroupFile({records[0], B, c}));
    RemoveFile(groups.GroupFilePath());
    groups.LoadGroupFile();
    EXPECT_EQ(groups.Count(), 0);
    EXPECT_TRUE(box.Texts().empty());
    EXPECT_EQ(FileSize(copy), -1);
}

TEST_F(GroupListTest, FailingSaveLeavesThePreviousFileWhole) {
    groups.AddGroup("a.group", "/dl/");
    ASSERT_TRUE(groups.SaveGroupFile());
    const std::string before = ReadFileBytes(groups.GroupFilePath());
    groups.AddGroup("b.group", "");
    testing::FailWritesAfter(10);  // the disk fills up in the middle of the file
    EXPECT_FALSE(groups.SaveGroupFile());
    testing::FailWritesAfter(-1);
    EXPECT_EQ(ReadFileBytes(groups.GroupFilePath()), before);
    EXPECT_EQ(FileSize(groups.GroupFilePath() + ".tmp"), -1);
    EXPECT_EQ(box.Texts(), (Strings{"Error Saving Group File!", std::strerror(ENOSPC)}));
    EXPECT_EQ(Icons(box), (std::vector{MessageIcon::Exclamation, MessageIcon::Information}));

    // The data directory gone: the temporary file cannot even be created.
    CAppContext noData(dir.Path() + "missing/", box);
    CGroupList orphan(noData);
    box.Clear();
    EXPECT_FALSE(orphan.SaveGroupFile());
    EXPECT_EQ(box.Texts(), (Strings{"Error Saving Group File!", std::strerror(ENOENT)}));
}

// ---- Names, order and lookup ----

TEST_F(GroupListTest, AddKeepsNameOrderAndFindIgnoresCase) {
    for (const char* name : {"comp.x", "alt.Z", "ALT.b", "alt.a_b", "alt.aab", "alt.B"})
        EXPECT_EQ(groups.AddGroup(name, ""), 1);
    // Letters fold to lower case, so "_" (0x5F) sorts before letters; equal
    // names keep the order they were added in.
    EXPECT_EQ(Names(), (Strings{"alt.a_b", "alt.aab", "ALT.b", "alt.B", "alt.Z", "comp.x"}));
    EXPECT_EQ(groups.FindGroup("alt.b"), 2);
    EXPECT_EQ(groups.FindGroup("COMP.X"), 5);
    EXPECT_EQ(groups.FindGroup("comp"), -1);
    EXPECT_EQ(groups.Group(5), Record("comp.x", 0, "(NEVER)"));

    for (const std::string& bad : Strings{"", "a b", "a/b", "..", "a\tb", std::string(260, 'x')})
        EXPECT_EQ(groups.AddGroup(bad, ""), 0) << bad;
    EXPECT_EQ(groups.AddGroup(std::string(259, 'x'), std::string(300, 'd')), 1);
    EXPECT_EQ(groups.Group(6).saveToDirectory.size(), 259u);

    EXPECT_FALSE(groups.AddNewGroup("COMP.X", "/other/"));
    EXPECT_FALSE(groups.AddNewGroup("a/b", ""));
    EXPECT_EQ(box.Texts()[0], "The group \"COMP.X\" is already in the group list.");
    EXPECT_EQ(Icons(box), (std::vector{MessageIcon::Information, MessageIcon::Stop}));
    EXPECT_TRUE(groups.AddNewGroup("alt.newer", ""));
}

// ---- Scan results, save-to directories and selection ----

TEST_F(GroupListTest, SelectionCommandsAndScanResultsOfListedGroupsOnly) {
    for (const char* name : {"g1", "g2", "g3", "g4"}) groups.AddGroup(name, "/same/");
    groups.UpdateGroupAfterScan("g2", 0, 0, 17, 0);  // no binaries: empty
    groups.UpdateGroupAfterScan("g3", 4, 0, 0, 0);
    groups.UpdateGroupAfterScan("g4", 0, 1, 0, 0);
    EXPECT_EQ(groups.ScanGroupNames(true, false), Strings{});
    EXPECT_EQ(groups.SelectedSaveToPreset(), "");
    groups.Select(2, true);
    groups.SelectEmptyGroups();
    EXPECT_EQ(groups.SelectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(groups.FirstSelected(), 0);
    EXPECT_EQ(groups.ScanGroupNames(true, false), (Strings{"g1", "g2", "g3"}));
    EXPECT_EQ(groups.ScanGroupNames(false, true), (Strings{"g4", "g3", "g2", "g1"}));

    EXPECT_EQ(groups.SelectedSaveToPreset(), "/same/");
    groups.SetSelectedSaveToDirectory("/new/", true);
    EXPECT_EQ(groups.Group(0).saveToDirectory, "/new/g1");
    EXPECT_EQ(groups.Group(3).saveToDirectory, "/same/");
    EXPECT_EQ(groups.SelectedSaveToPreset(), "");  // the selected rows now differ
    groups.SetSelectedSaveToDirectory("/flat/", false);
    EXPECT_EQ(groups.SelectedSaveToPreset(), "/flat/");

    // The scan time is an English twelve-hour clock.
    std::tm t{};
    t.tm_wday = 1, t.tm_mon = 0, t.tm_mday = 7, t.tm_hour = 15, t.tm_min = 5;
    EXPECT_EQ(FormatScanTime(t), "Mon, Jan 07 03:05 PM");
    t.tm_wday = 0, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 0, t.tm_min = 0;
    EXPECT_EQ(FormatScanTime(t), "Sun, Dec 31 12:00 AM");
    t.tm_hour = 12, t.tm_min = 59;
    EXPECT_EQ(FormatScanTime(t), "Sun, Dec 31 12:59 PM");
    groups.AddGroup("alt.bin", "/dl");
    groups.AddGroup("g.empty", "");
    std::vector<Kind> seen;
    groups.SetListener([&](const GroupListChange& c) { seen.push_back(c.kind); });
    groups.UpdateGroupAfterScan("ALT.BIN", 5, 2, 40, 1700000000);
    groups.UpdateGroupAfterScan("alt.deleted", 9, 9, 9, 0);  // deleted while it was scanned
    EXPECT_EQ(groups.Group(0),
              (GroupRecord{"alt.bin", 5, 2, 40, FormatScanTime(1700000000), "/dl"}));
    EXPECT_EQ(seen, std::vector<Kind>{Kind::RowChanged});

    groups.AddGroup("g.slash", "/s/");
    std::string out = "unchanged";
    EXPECT_FALSE(groups.GetSaveToDirectory("g.none", out));
    EXPECT_EQ(out, "unchanged");
    for (auto [name, want] : {std::pair{"alt.BIN", "/dl/"}, {"g.slash", "/s/"}, {"g.empty", ""}}) {
        ASSERT_TRUE(groups.GetSaveToDirectory(name, out)) << name;
        EXPECT_EQ(out, want);
    }
}

// ---- Delete and reset ----

// A scan holds the first group: Cancel skips it, Retry waits for it. Only the
// .BIN/.MSG pair (and the next ones of a killed scan's commit) goes.
TEST_F(GroupListTest, ResetAndDeleteSkipOrRetryALockedGroupAndRemoveOnlyThePair) {
    AddWithFiles({"a.locked", "b.reset", "c.other"}, "/d/");
    groups.UpdateGroupAfterScan("a.locked", 1, 1, 1, 1700000000);
    groups.UpdateGroupAfterScan("b.reset", 5, 2, 40, 1700000000);
    groups.Select(0, true);
    groups.Select(1, true);
    ASSERT_EQ(app.locks.TryLock("a.locked"), 1);
    for (int i = 0; i < 2; ++i) {  // Reset, then Delete: Yes, then Cancel on the locked one
        box.QueueAnswer(MessageAnswer::Yes);
        box.QueueAnswer(MessageAnswer::Cancel);
    }
    std::vector<std::pair<Kind, int>> seen;
    groups.SetListener([&](const GroupListChange& c) { seen.emplace_back(c.kind, c.row); });
    EXPECT_EQ(groups.ResetSelectedGroups(), 1);
    EXPECT_EQ(groups.Group(1), Record("b.reset", 0, "(NEVER)", "/d/"));
    EXPECT_EQ(groups.Group(0).binCount, 1);  // skipped
    EXPECT_EQ(PairFiles("b.reset"), 0);
    EXPECT_TRUE(groups.IsSelected(1));
    EXPECT_EQ(groups.DeleteSelectedGroups(), 1);
    EXPECT_EQ(Names(), (Strings{"a.locked", "c.other"}));
    EXPECT_EQ(box.Texts(), (Strings{"Reset 2 Selected Groups?", LockedText("a.locked", "."),
                                    "Delete 2 Selected Groups?", LockedText("a.locked", "")}));
    EXPECT_EQ(box.Messages()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(box.Messages()[1].buttons, MessageButtons::RetryCancel);
    EXPECT_EQ(Icons(box)[3], MessageIcon::Exclamation);
    EXPECT_EQ(seen, (std::vector<std::pair<Kind, int>>{{Kind::RowChanged, 1},
                                                       {Kind::BeginRemove, 1},
                                                       {Kind::EndRemove, 1},
                                                       {Kind::FocusList, -1}}));
    for (const char* ext : {kXovExt, kXotExt, kNewExt, kOldExt})
        EXPECT_EQ(FileSize(Data(std::string("b.reset") + ext)), 1) << ext;
    EXPECT_EQ(PairFiles("a.locked") + PairFiles("c.other"), 8);

    // Answering No changes nothing, but the focus goes back to the list.
    box.Clear();
    for (int i = 0; i < 3; ++i) box.QueueAnswer(MessageAnswer::No);
    groups.ClearSelection();
    EXPECT_EQ(groups.DeleteSelectedGroups(), 0);  // nothing selected: still asks
    EXPECT_EQ(seen.back(), std::pair(Kind::FocusList, -1));
    groups.Select(1, true);
    EXPECT_EQ(groups.ResetSelectedGroups(), 0);
    EXPECT_EQ(groups.DeleteSelectedGroups(), 0);
    EXPECT_EQ(box.Texts(), (Strings{"Delete 0 Selected Groups?", "Reset Group \"c.other\"?",
                                    "Delete Group \"c.other\"?"}));
    EXPECT_EQ(PairFiles("c.other"), 4);

    // Retry (the default answer) waits until the scan releases the group.
    int prompts = 0;
    box.onRetryPrompt = [&] {
        if (++prompts == 2) app.locks.Unlock("a.locked");  // the scan finishes
    };
    groups.SelectAll();
    EXPECT_EQ(groups.DeleteSelectedGroups(), 2);
    EXPECT_EQ(prompts, 2);
    EXPECT_EQ(groups.Count(), 0);
    EXPECT_EQ(PairFiles("a.locked") + PairFiles("c.other"), 0);
    EXPECT_FALSE(app.locks.IsHeld("a.locked"));
}

// ---- The folder dialogs' decisions ----

TEST(GroupFolder, AddGroupAndSaveToInput) {
    CTempDir dir;
    std::string folder = dir.Path().substr(0, dir.Path().size() - 1);  // no trailing "/"
    std::string out;
    EXPECT_STREQ(CheckNewGroupInput("", folder, false, out), kNoGroupNameText);
    EXPECT_STREQ(CheckNewGroupInput("g", folder + "/nope", false, out), kNoSuchDirectoryText);
    EXPECT_EQ(CheckNewGroupInput("alt.x", folder, true, out), nullptr);
    EXPECT_EQ(out, dir.Path() + "alt.x");
    EXPECT_EQ(CheckNewGroupInput("alt.x", folder, false, out), nullptr);
    EXPECT_EQ(out, dir.Path());
    EXPECT_EQ(CheckNewGroupInput("alt.x", "", false, out), nullptr);  // the root
    EXPECT_EQ(out, "/");
    EXPECT_EQ(CheckSaveToFolder(folder, out), nullptr);
    EXPECT_EQ(out, dir.Path());
    EXPECT_STREQ(CheckSaveToFolder(folder + "/nope", out), kNoSuchDirectoryText);
}

}  // namespace
}  // namespace vexlo
