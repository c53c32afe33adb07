#include "groups/group_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "core/app_context.h"
#include "groups/group_file.h"
#include "groups/group_folder.h"
#include "platform/file.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CRecordingMessageBox;
using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

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

class GroupListTest : public ::testing::Test {
  protected:
    GroupListTest() { ::mkdir(app.DataPath().c_str(), 0755); }
    ~GroupListTest() override { testing::FailWritesAfter(-1); }

    std::string Data(const std::string& name) const { return app.DataPath() + name; }
    std::vector<std::string> Names(const CGroupList& list) const {
        std::vector<std::string> names;
        for (int i = 0; i < list.Count(); ++i) names.push_back(list.Group(i).name);
        return names;
    }
    void TouchDataFiles(const std::string& group) {
        for (const char* ext : {kMsgExt, kBinExt, kXovExt, kXotExt, kNewExt, kOldExt})
            WriteFileBytes(Data(group + ext), "x");
    }

    CTempDir dir;
    CActingMessageBox box;
    CAppContext app{dir.Path(), box};
    CGroupList list{app};
};

GroupRecord Record(std::string name, int32_t bin, int32_t fresh, int32_t msg, std::string scan,
                   std::string directory) {
    return GroupRecord{std::move(name), bin, fresh, msg, std::move(scan), std::move(directory)};
}

std::string Le32(int32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
    return out;
}

// ---- The group file ----

TEST(GroupFile, LayoutPutsLengthsThenStringsInNameDirectoryScanOrder) {
    std::string bytes = EncodeGroupFile({Record("ab", 1, -2, 3, "xyz", "d")});
    EXPECT_EQ(bytes, Le32(1) + Le32(1) + Le32(-2) + Le32(3) + Le32(2) + Le32(1) + Le32(3) + "ab" +
                         "d" + "xyz");
    EXPECT_EQ(EncodeGroupFile({}), Le32(0));
}

TEST_F(GroupListTest, SaveAndLoadGiveBackEveryFieldInNameOrder) {
    std::vector<GroupRecord> records = {
        Record("alt.binaries.b", 12, 3, 456, "Mon, Jan 07 03:05 PM", "/home/u/dl/"),
        Record("Alt.Binaries.A", 0, 0, 0, kNeverScanned, ""),
        Record("comp.x", -1, 2147483647, -2147483647 - 1, "", "/d"),
    };
    for (const auto& r : records) list.AddGroup(r.name, r.saveToDirectory);
    list.UpdateGroupAfterScan("alt.binaries.b", 12, 3, 456, 0);
    list.UpdateGroupAfterScan("comp.x", -1, 2147483647, -2147483647 - 1, 0);
    ASSERT_TRUE(list.SaveGroupFile());

    CGroupList loaded(app);
    loaded.LoadGroupFile();
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(Names(loaded),
              (std::vector<std::string>{"Alt.Binaries.A", "alt.binaries.b", "comp.x"}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(loaded.Group(i), list.Group(i));
    EXPECT_EQ(loaded.Group(0).saveToDirectory, "");
    EXPECT_EQ(loaded.Group(2).msgCount, -2147483647 - 1);
    EXPECT_TRUE(box.Texts().empty());

    // An unsorted file is put into name order; the next save writes that order.
    records[1].lastScan = "text kept as it is";
    WriteFileBytes(list.GroupFilePath(), EncodeGroupFile({records[2], records[0], records[1]}));
    loaded.LoadGroupFile();
    EXPECT_EQ(Names(loaded),
              (std::vector<std::string>{"Alt.Binaries.A", "alt.binaries.b", "comp.x"}));
    EXPECT_EQ(loaded.Group(0).lastScan, "text kept as it is");
    EXPECT_EQ(loaded.Group(1), records[0]);
    ASSERT_TRUE(loaded.SaveGroupFile());
    EXPECT_EQ(ReadFileBytes(loaded.GroupFilePath()),
              EncodeGroupFile({records[1], records[0], records[2]}));
}

TEST_F(GroupListTest, MissingOrEmptyFileGivesEmptyListWithoutMessage) {
    for (const std::string& bytes :
         {std::string(), std::string("\x01\x00", 2), Le32(0), Le32(-5)}) {
        WriteFileBytes(list.GroupFilePath(), bytes);
        list.LoadGroupFile();
        EXPECT_EQ(list.Count(), 0);
    }
    RemoveFile(list.GroupFilePath());
    list.LoadGroupFile();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(box.Texts().empty());
}

TEST_F(GroupListTest, CutShortThirdRecordKeepsTwoAndWarns) {
    std::string whole =
        EncodeGroupFile({Record("a.one", 1, 0, 0, "s1", "/x/"), Record("b.two", 2, 0, 0, "s2", ""),
                         Record("c.three", 3, 0, 0, "s3", "/y/")});
    WriteFileBytes(list.GroupFilePath(), whole.substr(0, whole.size() - 1));
    list.LoadGroupFile();
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a.one", "b.two"}));
    ASSERT_EQ(box.Messages().size(), 1u);
    EXPECT_EQ(box.Messages()[0].text,
              "Warning: Not All Group Names Read From _GROUPS.DAT File.\r\n"
              "Expected 3 Newsgroups, but only read 2.");
    EXPECT_EQ(box.Messages()[0].icon, MessageIcon::Exclamation);
}

TEST_F(GroupListTest, EveryCutOfTheFileKeepsTheWholeRecordsBeforeIt) {
    std::vector<GroupRecord> records = {Record("a", 1, 2, 3, "s", "/d/"),
                                        Record("b", 4, 5, 6, "", "")};
    std::string whole = EncodeGroupFile(records);
    size_t firstEnd = 4 + 24 + 1 + 3 + 1;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        box.Clear();
        WriteFileBytes(list.GroupFilePath(), whole.substr(0, cut));
        list.LoadGroupFile();
        size_t expected = cut >= firstEnd ? 1 : 0;
        ASSERT_EQ(static_cast<size_t>(list.Count()), expected) << "cut at " << cut;
        if (expected == 1) {
            EXPECT_EQ(list.Group(0), records[0]);
        }
        EXPECT_EQ(box.Texts().size(), cut >= 4 ? 1u : 0u) << "cut at " << cut;
    }
}

TEST_F(GroupListTest, DamagedLengthsStopReadingWithoutHugeAllocations) {
    std::string good = EncodeGroupFile({Record("a.good", 1, 0, 0, "s", "")}).substr(4);
    for (int32_t badLength : {-1, 0x7FFFFFFF, 1000}) {
        box.Clear();
        std::string bad = Le32(0) + Le32(0) + Le32(0) + Le32(1) + Le32(badLength) + Le32(0) + "b";
        WriteFileBytes(list.GroupFilePath(), Le32(3) + good + bad + good);
        list.LoadGroupFile();
        EXPECT_EQ(Names(list), std::vector<std::string>{"a.good"});
        EXPECT_EQ(box.Texts(), std::vector<std::string>{
                                   "Warning: Not All Group Names Read From _GROUPS.DAT File.\r\n"
                                   "Expected 3 Newsgroups, but only read 1."});
    }
}

TEST_F(GroupListTest, UnusableNamesAreSkippedAndLongTextsCut) {
    std::string longDir(300, 'd');
    std::vector<GroupRecord> records = {
        Record("../escape", 0, 0, 0, "", ""), Record(std::string(260, 'n'), 0, 0, 0, "", ""),
        Record("", 0, 0, 0, "", ""), Record("z.kept", 7, 0, 0, std::string(270, 's'), longDir)};
    // Written by hand: the encoder itself cuts at 259.
    std::string bytes = Le32(4);
    for (const auto& r : records) {
        bytes += Le32(r.binCount) + Le32(0) + Le32(0) + Le32(static_cast<int32_t>(r.name.size())) +
                 Le32(static_cast<int32_t>(r.saveToDirectory.size())) +
                 Le32(static_cast<int32_t>(r.lastScan.size())) + r.name + r.saveToDirectory +
                 r.lastScan;
    }
    WriteFileBytes(list.GroupFilePath(), bytes);
    list.LoadGroupFile();
    ASSERT_EQ(Names(list), std::vector<std::string>{"z.kept"});
    EXPECT_EQ(list.Group(0).binCount, 7);
    EXPECT_EQ(list.Group(0).saveToDirectory, std::string(259, 'd'));
    EXPECT_EQ(list.Group(0).lastScan, std::string(259, 's'));
    EXPECT_EQ(box.Texts(), std::vector<std::string>{
                               "Warning: Not All Group Names Read From _GROUPS.DAT File.\r\n"
                               "Expected 4 Newsgroups, but only read 1."});
}

TEST_F(GroupListTest, FailingSaveLeavesThePreviousFileWhole) {
    list.AddGroup("a.group", "/dl/");
    ASSERT_TRUE(list.SaveGroupFile());
    std::string before = ReadFileBytes(list.GroupFilePath());
    list.AddGroup("b.group", "");

    testing::FailWritesAfter(10);  // the disk fills up in the middle of the file
    EXPECT_FALSE(list.SaveGroupFile());
    testing::FailWritesAfter(-1);
    EXPECT_EQ(ReadFileBytes(list.GroupFilePath()), before);
    EXPECT_EQ(FileSize(list.GroupFilePath() + ".tmp"), -1);
    auto shown = box.Messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Error Saving Group File!");
    EXPECT_EQ(shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(shown[1].text, std::strerror(ENOSPC));
    EXPECT_EQ(shown[1].icon, MessageIcon::Information);

    // The data directory gone: the temporary file cannot even be created.
    CTempDir other;
    CAppContext noData(other.Path() + "missing/", box);
    CGroupList orphan(noData);
    box.Clear();
    EXPECT_FALSE(orphan.SaveGroupFile());
    EXPECT_EQ(box.Texts(),
              (std::vector<std::string>{"Error Saving Group File!", std::strerror(ENOENT)}));
}

// ---- Names, order and lookup ----

TEST_F(GroupListTest, NamesAreOrderedAndFoundIgnoringCase) {
    for (const char* name : {"comp.x", "alt.Z", "ALT.b", "alt.a_b", "alt.aab", "alt.B"})
        EXPECT_EQ(list.AddGroup(name, ""), 1);
    // Letters fold to lower case, so "_" (0x5F) sorts before letters; equal
    // names keep the order they were added in.
    EXPECT_EQ(Names(list), (std::vector<std::string>{"alt.a_b", "alt.aab", "ALT.b", "alt.B",
                                                     "alt.Z", "comp.x"}));
    EXPECT_EQ(list.FindGroup("alt.b"), 2);
    EXPECT_EQ(list.FindGroup("COMP.X"), 5);
    EXPECT_EQ(list.FindGroup("comp"), -1);
    EXPECT_TRUE(list.GroupExists("Alt.Z"));

    CGroupList empty(app);
    EXPECT_EQ(empty.FindGroup("alt.a_b"), -1);
    // The named lock keeps names that differ in case apart.
    ASSERT_EQ(app.locks.TryLock("ALT.b"), 1);
    EXPECT_EQ(app.locks.TryLock("alt.B"), 1);
}

TEST_F(GroupListTest, AddingAGroup) {
    EXPECT_EQ(list.AddGroup("alt.new", "/dl/alt.new"), 1);
    EXPECT_EQ(list.Group(0), Record("alt.new", 0, 0, 0, "(NEVER)", "/dl/alt.new"));
    for (const std::string& bad : {std::string(), std::string("a b"), std::string("a/b"),
                                   std::string(".."), std::string("a\tb"), std::string(260, 'x')})
        EXPECT_EQ(list.AddGroup(bad, ""), 0) << bad;
    EXPECT_EQ(list.AddGroup(std::string(259, 'x'), std::string(300, 'd')), 1);
    EXPECT_EQ(list.Group(1).saveToDirectory.size(), 259u);

    EXPECT_FALSE(list.AddNewGroup("ALT.NEW", "/other/"));
    EXPECT_FALSE(list.AddNewGroup("a/b", ""));
    auto shown = box.Messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "The group \"ALT.NEW\" is already in the group list.");
    EXPECT_EQ(shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(shown[1].icon, MessageIcon::Stop);
    EXPECT_TRUE(list.AddNewGroup("alt.newer", ""));
    EXPECT_EQ(list.Count(), 3);
}

// ---- Scan results and save-to directories ----

TEST(GroupScanTime, FormatIsEnglishTwelveHourClock) {
    std::tm t{};
    t.tm_wday = 1, t.tm_mon = 0, t.tm_mday = 7, t.tm_hour = 15, t.tm_min = 5;
    EXPECT_EQ(FormatScanTime(t), "Mon, Jan 07 03:05 PM");
    t.tm_wday = 0, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 0, t.tm_min = 0;
    EXPECT_EQ(FormatScanTime(t), "Sun, Dec 31 12:00 AM");
    t.tm_hour = 12, t.tm_min = 59;
    EXPECT_EQ(FormatScanTime(t), "Sun, Dec 31 12:59 PM");
}

TEST_F(GroupListTest, ScanUpdatesOnlyAListedGroup) {
    list.AddGroup("alt.bin", "/dl/");
    std::vector<GroupListChange::Kind> seen;
    list.SetListener([&](const GroupListChange& c) { seen.push_back(c.kind); });
    const std::time_t when = 1700000000;
    list.UpdateGroupAfterScan("ALT.BIN", 5, 2, 40, when);
    EXPECT_EQ(list.Group(0), Record("alt.bin", 5, 2, 40, FormatScanTime(when), "/dl/"));
    EXPECT_EQ(seen, std::vector<GroupListChange::Kind>{GroupListChange::Kind::RowChanged});

    list.UpdateGroupAfterScan("alt.deleted", 9, 9, 9, when);  // deleted while it was scanned
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(GroupListTest, SaveToDirectoryGetsATrailingSlash) {
    list.AddGroup("g.plain", "/dl/plain");
    list.AddGroup("g.slash", "/dl/slash/");
    list.AddGroup("g.empty", "");
    std::string out = "unchanged";
    EXPECT_FALSE(list.GetSaveToDirectory("g.none", out));
    EXPECT_EQ(out, "unchanged");
    ASSERT_TRUE(list.GetSaveToDirectory("G.PLAIN", out));
    EXPECT_EQ(out, "/dl/plain/");
    ASSERT_TRUE(list.GetSaveToDirectory("g.slash", out));
    EXPECT_EQ(out, "/dl/slash/");
    ASSERT_TRUE(list.GetSaveToDirectory("g.empty", out));
    EXPECT_EQ(out, "");
}

TEST_F(GroupListTest, SelectionCommands) {
    for (const char* name : {"g1", "g2", "g3", "g4"}) list.AddGroup(name, "/same/");
    list.UpdateGroupAfterScan("g2", 0, 0, 17, 0);  // no binaries: empty
    list.UpdateGroupAfterScan("g3", 4, 0, 0, 0);
    list.UpdateGroupAfterScan("g4", 0, 1, 0, 0);
    EXPECT_EQ(list.ScanGroupNames(true, false), std::vector<std::string>{});
    EXPECT_EQ(list.SelectedSaveToPreset(), "");

    list.Select(2, true);
    list.SelectEmptyGroups();
    EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(list.FirstSelected(), 0);
    EXPECT_EQ(list.ScanGroupNames(true, false), (std::vector<std::string>{"g1", "g2", "g3"}));
    EXPECT_EQ(list.ScanGroupNames(false, true), (std::vector<std::string>{"g4", "g3", "g2", "g1"}));

    EXPECT_EQ(list.SelectedSaveToPreset(), "/same/");
    list.SetSelectedSaveToDirectory("/new/", true);
    EXPECT_EQ(list.Group(0).saveToDirectory, "/new/g1");
    EXPECT_EQ(list.Group(3).saveToDirectory, "/same/");
    EXPECT_EQ(list.SelectedSaveToPreset(), "");  // the selected rows now differ
    list.SetSelectedSaveToDirectory("/flat/", false);
    EXPECT_EQ(list.SelectedSaveToPreset(), "/flat/");

    list.ClearSelection();
    EXPECT_EQ(list.SelectedCount(), 0);
    list.SelectAll();
    EXPECT_EQ(list.SelectedCount(), 4);
}

// ---- Delete and reset ----

TEST_F(GroupListTest, DeleteWithFirstGroupLockedAndCancelDeletesOnlyTheSecond) {
    list.AddGroup("g.first", "");
    list.AddGroup("g.second", "");
    list.AddGroup("g.third", "");
    for (const char* g : {"g.first", "g.second", "g.third"}) TouchDataFiles(g);
    list.Select(0, true);
    list.Select(1, true);
    ASSERT_EQ(app.locks.TryLock("g.first"), 1);  // a scan is rewriting it
    box.QueueAnswer(MessageAnswer::Yes);
    box.QueueAnswer(MessageAnswer::Cancel);
    std::vector<GroupListChange> seen;
    list.SetListener([&](const GroupListChange& c) { seen.push_back(c); });

    EXPECT_EQ(list.DeleteSelectedGroups(), 1);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"g.first", "g.third"}));
    auto shown = box.Messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Delete 2 Selected Groups?");
    EXPECT_EQ(shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(shown[1].text,
              "Newsgroup: g.first\r\n\r\nWARNING: Unable to Lock Newsgroup!\r\n\r\n"
              "It is probably locked because it is being updated.\r\n\r\n"
              "Click Retry To Try Again\r\nClick Cancel to skip this group.");
    EXPECT_EQ(shown[1].icon, MessageIcon::Exclamation);
    EXPECT_EQ(shown[1].buttons, MessageButtons::RetryCancel);

    // Only the deleted group's .BIN and .MSG go; its other files and every file
    // of the skipped and unselected groups stay.
    EXPECT_EQ(FileSize(Data("g.second.BIN")), -1);
    EXPECT_EQ(FileSize(Data("g.second.MSG")), -1);
    for (const char* ext : {kXovExt, kXotExt, kNewExt, kOldExt})
        EXPECT_EQ(FileSize(Data(std::string("g.second") + ext)), 1) << ext;
    for (const char* g : {"g.first", "g.third"}) {
        EXPECT_EQ(FileSize(Data(std::string(g) + ".BIN")), 1);
        EXPECT_EQ(FileSize(Data(std::string(g) + ".MSG")), 1);
    }
    EXPECT_FALSE(app.locks.IsHeld("g.second"));
    EXPECT_TRUE(app.locks.IsHeld("g.first"));  // still the scan's
    using K = GroupListChange::Kind;
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].kind, K::BeginRemove);
    EXPECT_EQ(seen[0].row, 1);
    EXPECT_EQ(seen[1].kind, K::EndRemove);
    EXPECT_EQ(seen[2].kind, K::FocusList);

    // Once the scan is done, every row can go.
    app.locks.Unlock("g.first");
    list.SelectAll();
    EXPECT_EQ(list.DeleteSelectedGroups(), 2);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(FileSize(Data("g.first.BIN")), -1);
    EXPECT_EQ(FileSize(Data("g.third.MSG")), -1);
}

TEST_F(GroupListTest, DeleteRetriesUntilTheScanReleasesTheGroup) {
    list.AddGroup("g.busy", "");
    TouchDataFiles("g.busy");
    list.Select(0, true);
    ASSERT_EQ(app.locks.TryLock("g.busy"), 1);
    int prompts = 0;
    box.onRetryPrompt = [&] {
        if (++prompts == 2) app.locks.Unlock("g.busy");  // the scan finishes
    };
    EXPECT_EQ(list.DeleteSelectedGroups(), 1);  // Yes, Retry, Retry by default
    EXPECT_EQ(prompts, 2);
    EXPECT_EQ(box.Texts()[0], "Delete Group \"g.busy\"?");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(FileSize(Data("g.busy.BIN")), -1);
    EXPECT_EQ(FileSize(Data("g.busy.XOV")), 1);
    EXPECT_FALSE(app.locks.IsHeld("g.busy"));
}

TEST_F(GroupListTest, AnsweringNoChangesNothing) {
    list.AddGroup("g.one", "");
    TouchDataFiles("g.one");
    bool focused = false;
    list.SetListener(
        [&](const GroupListChange& c) { focused |= c.kind == GroupListChange::Kind::FocusList; });
    box.QueueAnswer(MessageAnswer::No);
    EXPECT_EQ(list.DeleteSelectedGroups(), 0);  // nothing selected: still asks
    box.QueueAnswer(MessageAnswer::No);
    list.Select(0, true);
    EXPECT_EQ(list.ResetSelectedGroups(), 0);
    EXPECT_EQ(box.Texts(),
              (std::vector<std::string>{"Delete 0 Selected Groups?", "Reset Group \"g.one\"?"}));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(FileSize(Data("g.one.BIN")), 1);
    EXPECT_TRUE(focused);
}

TEST_F(GroupListTest, ResetKeepsRowPositionAndDirectoryAndClearsFigures) {
    list.AddGroup("a.locked", "/a/");
    list.AddGroup("b.reset", "/b/");
    list.AddGroup("c.other", "/c/");
    list.UpdateGroupAfterScan("a.locked", 1, 1, 1, 1700000000);
    list.UpdateGroupAfterScan("b.reset", 5, 2, 40, 1700000000);
    TouchDataFiles("b.reset");
    list.SelectAll();
    list.Select(2, false);
    ASSERT_EQ(app.locks.TryLock("a.locked"), 1);
    box.QueueAnswer(MessageAnswer::Yes);
    box.QueueAnswer(MessageAnswer::Cancel);
    bool focused = false;
    list.SetListener(
        [&](const GroupListChange& c) { focused |= c.kind == GroupListChange::Kind::FocusList; });

    EXPECT_EQ(list.ResetSelectedGroups(), 1);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a.locked", "b.reset", "c.other"}));
    EXPECT_EQ(list.Group(1), Record("b.reset", 0, 0, 0, "(NEVER)", "/b/"));
    EXPECT_EQ(list.Group(0).binCount, 1);  // skipped
    EXPECT_EQ(FileSize(Data("b.reset.BIN")), -1);
    EXPECT_EQ(FileSize(Data("b.reset.MSG")), -1);
    EXPECT_EQ(FileSize(Data("b.reset.XOV")), 1);
    EXPECT_TRUE(list.IsSelected(1));
    EXPECT_FALSE(focused);
    auto texts = box.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Reset 2 Selected Groups?");
    EXPECT_EQ(texts[1],
              "Newsgroup: a.locked\r\n\r\nWARNING: Unable to Lock Newsgroup!\r\n\r\n"
              "It is probably locked because it is being updated.\r\n\r\n"
              "Click Retry To Try Again.\r\nClick Cancel to skip this group.");
}

// ---- The folder dialogs' decisions ----

TEST(GroupFolder, AddGroupAndSaveToInput) {
    CTempDir dir;
    std::string folder = dir.Path().substr(0, dir.Path().size() - 1);  // no trailing "/"
    std::string out = "unchanged";
    EXPECT_STREQ(CheckNewGroupInput("", folder, false, out), kNoGroupNameText);
    EXPECT_STREQ(CheckNewGroupInput("g", folder + "/nope", false, out), kNoSuchDirectoryText);
    EXPECT_EQ(out, "unchanged");
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
