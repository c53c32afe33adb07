// The server group list dialog model and the command line's fetch against the
// real news server: a refresh replaces _GROUPS.ALL with the server's names, a
// failed one leaves it as it was (the dialog's failures are the unit tests' job).
#include <atomic>

#include "group_test_files.h"
#include "groups/group_record.h"
#include "support/inn_fixture.h"

namespace vexlo {
namespace {

using namespace test;

bool HasLine(const std::string& text, const std::string& name) {
    return text.rfind(name + "\r\n", 0) == 0 ||
           text.find("\n" + name + "\r\n") != std::string::npos;
}

class ServerGroupListITest : public AppFilesTest<> {
  protected:
    ServerGroupListITest() {
        app.settings.SetServer(Inn().host);
        app.settings.SetPort(Inn().anonPort);
    }
    // Opens the dialog on the old list "alt.binaries.old" and refreshes it.
    void OpenAndRefresh(CServerGroupList& model) {
        WriteFileBytes(Data("_GROUPS.ALL"), "alt.binaries.old\r\n");
        model.Open();
        ASSERT_TRUE(model.HasWorker());
        EXPECT_EQ(model.Rows(), std::vector<std::string>{"alt.binaries.old"});
        ASSERT_TRUE(model.Refresh());
        for (int i = 0; i < 600 && model.IsRefreshing(); ++i) model.ProcessMessages(50);
        ASSERT_FALSE(model.IsRefreshing());
    }
};

TEST_F(ServerGroupListITest, RefreshReplacesTheListWithTheServersNames) {
    CServerGroupList model(app, groups);
    OpenAndRefresh(model);

    const std::string all = ReadFileBytes(Data("_GROUPS.ALL"));
    EXPECT_TRUE(HasLine(all, "misc.test"));
    EXPECT_FALSE(HasLine(all, "alt.binaries.old"));
    EXPECT_EQ(FileSize(Data("_GROUPS.TMP")), -1);
    EXPECT_EQ(model.StatusText(), "Group Refresh Complete - " +
                                      std::to_string(std::count(all.begin(), all.end(), '\n')) +
                                      " Groups Read");
    EXPECT_TRUE(box.Texts().empty());
    // The default filter shows the binaries groups only, sorted.
    const std::vector<std::string>& rows = model.Rows();
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return CompareGroupNames(a, b) < 0;
    }));
    EXPECT_NE(std::find(rows.begin(), rows.end(), "alt.binaries.test"), rows.end());
    EXPECT_EQ(std::find(rows.begin(), rows.end(), "misc.test"), rows.end());
    EXPECT_EQ(EnabledControls(model), "ok refresh");
    model.Close();
}

TEST_F(ServerGroupListITest, FetchForTheCommandLineWithLogin) {
    app.settings.SetPort(Inn().authPort);
    app.settings.SetAuth(1);
    app.settings.SetUser("tester");
    app.settings.SetPass("secret");
    std::atomic<bool> abort{false};
    FetchGroupListResult result = FetchServerGroupList(app, &abort, nullptr);
    ASSERT_TRUE(result.completed) << result.errorText;
    EXPECT_TRUE(result.installed);
    EXPECT_GE(result.count, 3);
    EXPECT_TRUE(HasLine(ReadFileBytes(Data("_GROUPS.ALL")), "misc.test"));

    // A wrong password leaves the fetched list alone.
    const std::string before = ReadFileBytes(Data("_GROUPS.ALL"));
    app.settings.SetPass("wrong");
    result = FetchServerGroupList(app, &abort, nullptr);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.errorText.rfind("481 ", 0), 0u) << result.errorText;
    EXPECT_EQ(ReadFileBytes(Data("_GROUPS.ALL")), before);
}

}  // namespace
}  // namespace vexlo
