// The server group list: its files (filter, line pieces, installing a complete
// fetch), the dialog model's decisions (filter apply, selection texts, adding
// names, refresh outcomes) and the synchronous fetch.
//
// Normal LIST replies come from the real server in the integration tests; the
// scripted peer here only pauses or breaks off in the middle of a list, which
// a real server does not do on demand.
#include "groups/server_group_list.h"

#include <cerrno>
#include <future>

#include "group_test_files.h"
#include "groups/server_group_file.h"
#include "support/script_peer.h"

namespace vexlo {
namespace {

using namespace test;

const std::string kListFile =
    "misc.test\r\nalt.binaries.test\r\nalt.BINARIES.upper\r\nalt.binaries.pictures.test\r\n"
    "comp.lang.c\r\n";

// ---- Texts and rules of the dialog ----

using ServerGroupListTest = AppFilesTest<>;

TEST_F(ServerGroupListTest, FileFilterIsACaseSensitiveSubstringOfEachLineOrPiece) {
    // Lines over 1022 characters come in pieces; bare line ends are stripped.
    WriteFileBytes(Data("list"), kListFile + std::string(1500, 'a') + "\r\nlast.group\n\r\nno.end");
    const struct {
        const char* filter;
        Strings names;
    } rows[] = {
        {"binaries", {"alt.binaries.test", "alt.binaries.pictures.test"}},
        {"",
         {"misc.test", "alt.binaries.test", "alt.BINARIES.upper", "alt.binaries.pictures.test",
          "comp.lang.c", std::string(1022, 'a'), std::string(478, 'a'), "last.group", "",
          "no.end"}},  // an empty line is listed only without a filter
        {"aaa", {std::string(1022, 'a'), std::string(478, 'a')}},
    };
    for (const auto& r : rows) {
        Strings names = {"old"};
        ASSERT_TRUE(ReadServerGroupList(Data("list"), r.filter, names));
        EXPECT_EQ(names, r.names) << r.filter;
    }
    // A missing or unreadable file leaves the names untouched.
    Strings names = {"kept"};
    EXPECT_FALSE(ReadServerGroupList(Data("missing"), "", names));
    EXPECT_FALSE(ReadServerGroupList(dir.Path(), "", names));  // a directory
    EXPECT_EQ(names, Strings{"kept"});
}

// A complete fetch replaces the old list (the itests); a directory in the way
// cannot be replaced by a file.
TEST_F(ServerGroupListTest, InstallReportsAFailedMove) {
    const std::string all = Data("_GROUPS.ALL"), tmp = Data("_GROUPS.TMP");
    ::mkdir(all.c_str(), 0755);
    WriteFileBytes(all + "/keep", "x");
    WriteFileBytes(tmp, "new.group\r\n");
    EXPECT_FALSE(InstallServerGroupList(tmp, all, box));
    // EISDIR
    EXPECT_EQ(box.Texts(), Strings{"Error 0x00000015: Moving Temp Group List To _GROUPS.ALL"});
    EXPECT_EQ(Icons(box), std::vector{MessageIcon::Exclamation});
    EXPECT_EQ(ReadFileBytes(tmp), "new.group\r\n");
}

TEST_F(ServerGroupListTest, AddSkipsListedNamesAndSaysHowMany) {
    groups.AddGroup("alt.binaries.a", "/old/");
    groups.AddGroup("ALT.BINARIES.C", "/old/");
    AddGroupsResult result = AddServerGroups(
        groups, {"alt.binaries.a", "alt.binaries.b", "alt.binaries.c"}, "/news/", false, box);
    EXPECT_EQ(std::pair(result.added, result.skipped), std::pair(1, 2));
    EXPECT_EQ(box.Texts(), Strings{"There were 2 Newsgroups skipped, because they\r\n"
                                   "are already in the Newsgroup list."});
    EXPECT_EQ(Icons(box), std::vector{MessageIcon::Information});
    EXPECT_EQ(groups.Group(groups.FindGroup("alt.binaries.b")).saveToDirectory, "/news/");

    // Nothing skipped: no message (one skipped: the dialog test below).
    box.Clear();
    AddServerGroups(groups, {"alt.y"}, "/news/", true, box);
    EXPECT_TRUE(box.Texts().empty());
}

TEST_F(ServerGroupListTest, OpenSaysWhatIsMissingThenListsFilteredSortedRowsAndSelection) {
    CServerGroupList empty(app, groups);
    empty.Open();  // no server set: the address does not resolve
    EXPECT_EQ(box.Texts(), (Strings{"Error Getting Server IP Address.", kNoServerGroupListText}));
    EXPECT_EQ(Icons(box), (std::vector{MessageIcon::Stop, MessageIcon::Information}));
    EXPECT_FALSE(empty.HasWorker());
    EXPECT_EQ(empty.StatusText(), "No Items.");
    EXPECT_EQ(EnabledControls(empty), "ok");
    EXPECT_FALSE(empty.Refresh());

    box.Clear();
    std::atomic<bool> abort{false};
    FetchGroupListResult result = FetchServerGroupList(app, &abort, nullptr);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.errorText, "Error Getting Server IP Address.");
    EXPECT_EQ(box.Texts(), Strings{"Error Getting Server IP Address."});

    // With a list, still without a server.
    WriteFileBytes(Data("_GROUPS.ALL"), kListFile);
    groups.AddGroup("misc.test", "/old/");
    CServerGroupList model(app, groups);
    model.Open();
    EXPECT_EQ(model.Rows(), (Strings{"alt.binaries.pictures.test", "alt.binaries.test"}));
    EXPECT_EQ(model.StatusText(), "0 of 2 Items Selected");
    EXPECT_EQ(EnabledControls(model), "ok");  // no server to refresh from
    model.SetFilterEdit("BINARIES");
    EXPECT_FALSE(model.GetControls().apply);
    model.SetFilterEdit("");
    EXPECT_TRUE(model.GetControls().apply);
    model.ApplyFilter();
    EXPECT_FALSE(model.GetControls().apply);
    EXPECT_EQ(model.Filter(), "");
    EXPECT_EQ(model.Rows(), (Strings{"alt.binaries.pictures.test", "alt.binaries.test",
                                     "alt.BINARIES.upper", "comp.lang.c", "misc.test"}));
    model.SetFilterEdit(std::string(40, 'x'));
    EXPECT_EQ(model.FilterEdit().size(), 32u);

    model.Select(2, true);
    model.Select(4, true);
    EXPECT_TRUE(model.GetControls().add);
    EXPECT_EQ(model.StatusText(), "2 of 5 Items Selected");
    // One skipped is named; groups may go into subfolders.
    EXPECT_EQ(model.Add("/news/", true).added, 1);
    EXPECT_EQ(box.Texts().back(),
              "Newsgroup misc.test not added.\r\n\r\nGroup is already in Newsgroup list.");
    EXPECT_EQ(groups.Group(groups.FindGroup("alt.BINARIES.upper")).saveToDirectory,
              "/news/alt.BINARIES.upper");
    model.SelectRange(0, 4, false);
    EXPECT_FALSE(model.GetControls().add);
    EXPECT_EQ(model.Add("/news/", false).added, 0);
    EXPECT_EQ(model.StatusText(), "0 of 5 Items Selected");
}

// The server pauses in the middle of the list until the user has cancelled;
// on the next refresh it breaks off there. Both keep the old list.
TEST_F(ServerGroupListTest, CancelledOrBrokenRefreshShowsWhyAndKeepsTheOldList) {
    std::promise<void> cancelled;
    std::future<void> resume = cancelled.get_future();
    int sessions = 0;
    CScriptPeer peer(
        [&](CPeerSession& s) {
            s.Write("200 scripted ready\r\n");
            s.ReadLine();
            s.Write("215 list follows\r\nalt.binaries.one 2 1 y\r\n");
            if (sessions++ > 0) return s.Write("alt.binaries.tw");  // then hangs up
            resume.wait_for(std::chrono::seconds(5));
            s.Write("alt.binaries.two 2 1 y\r\n.\r\n");
            s.WaitForClose();
        },
        2);
    app.settings.SetServer("127.0.0.1");
    app.settings.SetPort(peer.Port());
    WriteFileBytes(Data("_GROUPS.ALL"), "alt.binaries.old\r\n");
    CServerGroupList model(app, groups);
    model.Open();
    ASSERT_TRUE(model.Refresh());
    model.Cancel();
    EXPECT_EQ(model.StatusText(), "Aborting ...");
    EXPECT_EQ(EnabledControls(model), "");
    cancelled.set_value();
    ASSERT_TRUE(FinishRefresh(model));
    EXPECT_EQ(model.StatusText(), "ABORTED BY USER!");
    EXPECT_EQ(EnabledControls(model), "ok refresh");

    model.Select(0, true);
    ASSERT_TRUE(model.Refresh());
    EXPECT_EQ(EnabledControls(model), "cancel");
    ASSERT_TRUE(FinishRefresh(model));
    EXPECT_EQ(model.StatusText(), "ERROR: Socket Read() Error [LIST]");
    EXPECT_EQ(ReadFileBytes(Data("_GROUPS.ALL")), "alt.binaries.old\r\n");
    EXPECT_EQ(model.Rows(), Strings{"alt.binaries.old"});
    EXPECT_EQ(EnabledControls(model), "ok refresh add");  // the row is still selected
    // What arrived before the break stays in the temporary file.
    EXPECT_EQ(ReadFileBytes(Data("_GROUPS.TMP")), "alt.binaries.one\r\n");
}

}  // namespace
}  // namespace vexlo
