// The server group list: its files (filter, line pieces, installing a complete
// fetch), the dialog model's decisions (filter apply, selection texts, adding
// names, refresh outcomes) and the synchronous fetch.
//
// Normal LIST replies come from the real server in the integration tests; the
// scripted peer here only pauses or breaks off in the middle of a list, which
// a real server does not do on demand.
#include "groups/server_group_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <future>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "groups/group_list.h"
#include "groups/server_group_file.h"
#include "support/recording_message_box.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CRecordingMessageBox;
using test::CScriptPeer;
using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

const std::string kListFile =
    "misc.test\r\nalt.binaries.test\r\nalt.BINARIES.upper\r\nalt.binaries.pictures.test\r\n"
    "comp.lang.c\r\n";

// ---- The files ----

TEST(ServerGroupFile, FilterIsACaseSensitiveSubstringAndEmptyFilterListsAll) {
    CTempDir dir;
    WriteFileBytes(dir / "list", kListFile);
    std::vector<std::string> names;
    ASSERT_TRUE(ReadServerGroupList(dir / "list", "binaries", names));
    EXPECT_EQ(names, (std::vector<std::string>{"alt.binaries.test", "alt.binaries.pictures.test"}));
    ASSERT_TRUE(ReadServerGroupList(dir / "list", "", names));
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(names[2], "alt.BINARIES.upper");
    ASSERT_TRUE(ReadServerGroupList(dir / "list", "nothing.matches", names));
    EXPECT_TRUE(names.empty());
}

TEST(ServerGroupFile, LinesLongerThan1022CharactersComeInPiecesAndBareLineEndsAreStripped) {
    CTempDir dir;
    const std::string longName(1500, 'a');
    WriteFileBytes(dir / "list", longName + "\r\nlast.group\n\r\nno.end");
    std::vector<std::string> names;
    ASSERT_TRUE(ReadServerGroupList(dir / "list", "", names));
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0], std::string(1022, 'a'));
    EXPECT_EQ(names[1], std::string(478, 'a'));  // the rest, its CR LF stripped
    EXPECT_EQ(names[2], "last.group");
    EXPECT_EQ(names[3], "");  // listed only without a filter
    EXPECT_EQ(names[4], "no.end");
    // The filter sees each line with its line end, and each piece of a long
    // line on its own.
    ASSERT_TRUE(ReadServerGroupList(dir / "list", "group", names));
    EXPECT_EQ(names, std::vector<std::string>{"last.group"});
    ASSERT_TRUE(ReadServerGroupList(dir / "list", "aaa", names));
    EXPECT_EQ(names.size(), 2u);
}

TEST(ServerGroupFile, MissingOrUnreadableFileLeavesTheNamesUntouched) {
    CTempDir dir;
    std::vector<std::string> names = {"kept"};
    EXPECT_FALSE(ReadServerGroupList(dir / "missing", "", names));
    ::mkdir((dir / "a.directory").c_str(), 0755);
    EXPECT_FALSE(ReadServerGroupList(dir / "a.directory", "", names));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

TEST(ServerGroupFile, InstallReplacesTheOldListWithTheNewOne) {
    CTempDir dir;
    CRecordingMessageBox box;
    WriteFileBytes(dir / "_GROUPS.ALL", "old.group\r\n");
    WriteFileBytes(dir / "_GROUPS.TMP", "new.group\r\n");
    EXPECT_TRUE(InstallServerGroupList(dir / "_GROUPS.TMP", dir / "_GROUPS.ALL", box));
    EXPECT_EQ(ReadFileBytes(dir / "_GROUPS.ALL"), "new.group\r\n");
    EXPECT_EQ(FileSize(dir / "_GROUPS.TMP"), -1);
    // Without an old list the new one simply takes its name.
    WriteFileBytes(dir / "_GROUPS.TMP", "newer.group\r\n");
    RemoveFile(dir / "_GROUPS.ALL");
    EXPECT_TRUE(InstallServerGroupList(dir / "_GROUPS.TMP", dir / "_GROUPS.ALL", box));
    EXPECT_EQ(ReadFileBytes(dir / "_GROUPS.ALL"), "newer.group\r\n");
    EXPECT_TRUE(box.Texts().empty());
}

TEST(ServerGroupFile, FailedMoveReportsTheSystemErrorCode) {
    CTempDir dir;
    CRecordingMessageBox box;
    // A directory in the way cannot be replaced by a file.
    ::mkdir((dir / "_GROUPS.ALL").c_str(), 0755);
    WriteFileBytes(dir / "_GROUPS.ALL/keep", "x");
    WriteFileBytes(dir / "_GROUPS.TMP", "new.group\r\n");
    EXPECT_FALSE(InstallServerGroupList(dir / "_GROUPS.TMP", dir / "_GROUPS.ALL", box));
    ASSERT_EQ(box.Messages().size(), 1u);
    char expected[96];
    std::snprintf(expected, sizeof expected, "Error 0x%08X: Moving Temp Group List To _GROUPS.ALL",
                  EISDIR);
    EXPECT_EQ(box.Messages()[0].text, expected);
    EXPECT_EQ(box.Messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(ReadFileBytes(dir / "_GROUPS.TMP"), "new.group\r\n");
}

// ---- Texts and rules of the dialog ----

TEST(ServerGroupDialogRules, SelectionTextAndFilterApplyRule) {
    EXPECT_EQ(SelectionText(0, 0), "No Items.");
    EXPECT_EQ(SelectionText(0, 7), "0 of 7 Items Selected");
    EXPECT_EQ(SelectionText(3, 7), "3 of 7 Items Selected");

    EXPECT_FALSE(FilterEditDiffers("BINARIES", "binaries"));
    EXPECT_FALSE(FilterEditDiffers("", ""));
    EXPECT_TRUE(FilterEditDiffers("binarie", "binaries"));
    EXPECT_TRUE(FilterEditDiffers("", "binaries"));
    EXPECT_TRUE(FilterEditDiffers("binaries.", "binaries"));
}

class ServerGroupListTest : public ::testing::Test {
  protected:
    ServerGroupListTest() { ::mkdir(app.DataPath().c_str(), 0755); }

    std::string Data(const std::string& name) const { return app.DataPath() + name; }
    void UseServer(uint16_t port) {
        app.settings.SetServer("127.0.0.1");
        app.settings.SetPort(port);
    }
    // Handles notices until the refresh has ended.
    void FinishRefresh(CServerGroupList& model) {
        for (int i = 0; i < 200 && model.IsRefreshing(); ++i) model.ProcessMessages(50);
        ASSERT_FALSE(model.IsRefreshing());
    }

    CTempDir dir;
    CRecordingMessageBox box;
    CAppContext app{dir.Path(), box};
    CGroupList groups{app};
};

TEST_F(ServerGroupListTest, AddSkipsListedNamesAndReportsTheNumberSkipped) {
    groups.AddGroup("alt.binaries.a", "/old/");
    groups.AddGroup("ALT.BINARIES.C", "/old/");
    AddGroupsResult result = AddServerGroups(
        groups, {"alt.binaries.a", "alt.binaries.b", "alt.binaries.c"}, "/news/", false, box);
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(result.skipped, 2);
    EXPECT_EQ(box.Texts(), std::vector<std::string>{"There were 2 Newsgroups skipped, because "
                                                    "they\r\nare already in the Newsgroup list."});
    EXPECT_EQ(box.Messages()[0].icon, MessageIcon::Information);
    std::string directory;
    ASSERT_TRUE(groups.GetSaveToDirectory("alt.binaries.b", directory));
    EXPECT_EQ(directory, "/news/");
}

TEST_F(ServerGroupListTest, AddNamesOneSkipAndPutsGroupsInSubfolders) {
    groups.AddGroup("misc.test", "/old/");
    AddGroupsResult result = AddServerGroups(groups, {"alt.x", "misc.test"}, "/news/", true, box);
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(result.skipped, 1);
    EXPECT_EQ(box.Texts(),
              std::vector<std::string>{
                  "Newsgroup misc.test not added.\r\n\r\nGroup is already in Newsgroup list."});
    EXPECT_EQ(groups.Group(groups.FindGroup("alt.x")).saveToDirectory, "/news/alt.x");
    box.Clear();
    // Nothing skipped: no message.
    AddServerGroups(groups, {"alt.y"}, "/news/", true, box);
    EXPECT_TRUE(box.Texts().empty());
}

TEST_F(ServerGroupListTest, OpenWithoutServerOrListShowsBothMessagesAndCannotRefresh) {
    CServerGroupList model(app, groups);
    model.Open();  // no server set: the address does not resolve
    EXPECT_EQ(box.Texts(), (std::vector<std::string>{"Error Getting Server IP Address.",
                                                     kNoServerGroupListText}));
    EXPECT_EQ(box.Messages()[0].icon, MessageIcon::Stop);
    EXPECT_EQ(box.Messages()[1].icon, MessageIcon::Information);
    EXPECT_FALSE(model.HasWorker());
    EXPECT_EQ(model.StatusText(), "No Items.");
    EXPECT_FALSE(model.GetControls().refresh);
    EXPECT_FALSE(model.Refresh());
    EXPECT_FALSE(model.IsRefreshing());
}

TEST_F(ServerGroupListTest, OpenListsFilteredSortedRowsAndFollowsFilterAndSelection) {
    WriteFileBytes(Data("_GROUPS.ALL"), kListFile);
    CServerGroupList model(app, groups);
    model.Open();
    EXPECT_EQ(model.Rows(),
              (std::vector<std::string>{"alt.binaries.pictures.test", "alt.binaries.test"}));
    EXPECT_EQ(model.StatusText(), "0 of 2 Items Selected");
    EXPECT_FALSE(model.GetControls().add);
    EXPECT_FALSE(model.GetControls().cancel);
    EXPECT_FALSE(model.GetControls().apply);

    model.SetFilterEdit("BINARIES");
    EXPECT_FALSE(model.GetControls().apply);
    model.SetFilterEdit("");
    EXPECT_TRUE(model.GetControls().apply);
    model.ApplyFilter();
    EXPECT_FALSE(model.GetControls().apply);
    EXPECT_EQ(model.Filter(), "");
    EXPECT_EQ(model.Rows(),
              (std::vector<std::string>{"alt.binaries.pictures.test", "alt.binaries.test",
                                        "alt.BINARIES.upper", "comp.lang.c", "misc.test"}));
    model.SetFilterEdit(std::string(40, 'x'));
    EXPECT_EQ(model.FilterEdit().size(), 32u);

    model.Select(2, true);
    model.Select(4, true);
    EXPECT_TRUE(model.GetControls().add);
    EXPECT_EQ(model.StatusText(), "2 of 5 Items Selected");
    AddGroupsResult result = model.Add("/news/", false);
    EXPECT_EQ(result.added, 2);
    EXPECT_TRUE(groups.GroupExists("alt.BINARIES.upper"));
    EXPECT_TRUE(groups.GroupExists("misc.test"));
    model.Select(2, false);
    model.Select(4, false);
    EXPECT_FALSE(model.GetControls().add);
    EXPECT_EQ(model.Add("/news/", false).added, 0);
    EXPECT_EQ(model.StatusText(), "0 of 5 Items Selected");
}

TEST_F(ServerGroupListTest, FailedRefreshShowsTheErrorAndKeepsTheOldList) {
    // The server breaks off in the middle of the list.
    CScriptPeer peer([](CPeerSession& s) {
        s.Write("200 scripted ready\r\n");
        s.ReadLine();
        s.Write("215 list follows\r\nalt.binaries.one 2 1 y\r\nalt.binaries.tw");
        s.Close();
    });
    UseServer(peer.Port());
    WriteFileBytes(Data("_GROUPS.ALL"), "alt.binaries.old\r\n");
    CServerGroupList model(app, groups);
    model.Open();
    model.Select(0, true);
    ASSERT_TRUE(model.Refresh());
    EXPECT_FALSE(model.GetControls().ok);
    EXPECT_FALSE(model.GetControls().refresh);
    EXPECT_FALSE(model.GetControls().add);
    EXPECT_TRUE(model.GetControls().cancel);
    FinishRefresh(model);
    EXPECT_EQ(model.StatusText(), "ERROR: Socket Read() Error [LIST]");
    EXPECT_EQ(ReadFileBytes(Data("_GROUPS.ALL")), "alt.binaries.old\r\n");
    EXPECT_EQ(model.Rows(), std::vector<std::string>{"alt.binaries.old"});
    EXPECT_TRUE(model.GetControls().ok);
    EXPECT_TRUE(model.GetControls().refresh);
    EXPECT_FALSE(model.GetControls().cancel);
    EXPECT_TRUE(model.GetControls().add);  // the row is still selected
    // What arrived before the break stays in the temporary file.
    EXPECT_EQ(ReadFileBytes(Data("_GROUPS.TMP")), "alt.binaries.one\r\n");
}

TEST_F(ServerGroupListTest, CancelAbortsBeforeTheNextLineAndKeepsTheOldList) {
    std::promise<void> cancelled;
    std::future<void> resume = cancelled.get_future();
    // The server sends a few names, then pauses until the user has cancelled.
    CScriptPeer peer([&resume](CPeerSession& s) {
        s.Write("200 scripted ready\r\n");
        s.ReadLine();
        s.Write("215 list follows\r\nalt.binaries.one 2 1 y\r\n");
        resume.wait_for(std::chrono::seconds(5));
        s.Write("alt.binaries.two 2 1 y\r\n.\r\n");
        s.WaitForClose();
    });
    UseServer(peer.Port());
    WriteFileBytes(Data("_GROUPS.ALL"), "alt.binaries.old\r\n");
    CServerGroupList model(app, groups);
    model.Open();
    ASSERT_TRUE(model.Refresh());
    model.Cancel();
    EXPECT_EQ(model.StatusText(), "Aborting ...");
    EXPECT_FALSE(model.GetControls().cancel);
    cancelled.set_value();
    FinishRefresh(model);
    EXPECT_EQ(model.StatusText(), "ABORTED BY USER!");
    EXPECT_EQ(ReadFileBytes(Data("_GROUPS.ALL")), "alt.binaries.old\r\n");
    EXPECT_TRUE(model.GetControls().ok);
    EXPECT_TRUE(model.GetControls().refresh);
}

TEST_F(ServerGroupListTest, FetchWithoutServerSaysWhy) {
    std::atomic<bool> abort{false};
    FetchGroupListResult result = FetchServerGroupList(app, &abort, nullptr);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.errorText, "Error Getting Server IP Address.");
    EXPECT_EQ(box.Texts(), std::vector<std::string>{"Error Getting Server IP Address."});
}

}  // namespace
}  // namespace vexlo
