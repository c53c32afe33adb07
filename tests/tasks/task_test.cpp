#include "tasks/task.h"

#include <gtest/gtest.h>

#include "core/app_settings.h"
#include "core/named_locks.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

void FillDownload(CTask& task, int parts) {
    task.SetType(kTaskDecode);
    task.SetGroupName("alt.binaries.test");
    task.SetSaveDir("/tmp/dl/");
    task.SetSubject("file.zip (1/3)");
    std::vector<uint32_t> articles, lines;
    for (int i = 0; i < parts; ++i) {
        articles.push_back(100 + static_cast<uint32_t>(i));
        lines.push_back(3000 + static_cast<uint32_t>(i));
    }
    task.SetArticles(articles);
    task.SetLines(lines);
}

TEST(Task, TextFieldsCutOrRefuseLongTexts) {
    CTask task;
    EXPECT_EQ(task.SetStatusText(std::string(300, 's')), 0);
    EXPECT_EQ(task.GetStatusText(), std::string(258, 's') + "+");
    EXPECT_EQ(task.SetStatusText(std::string(259, 's')), 1);
    EXPECT_EQ(task.GetStatusText().size(), 259u);
    EXPECT_EQ(task.SetSubject(std::string(300, 'x')), 0);
    EXPECT_EQ(task.GetSubject(), std::string(258, 'x') + "+");
    task.SetGroupName("old.name");
    EXPECT_EQ(task.SetGroupName(std::string(300, 'g')), 0);
    EXPECT_EQ(task.GetGroupName(), "");  // refused texts leave the field empty
}

TEST(Task, AffinityIsReducedToConfiguredChannels) {
    CAppSettings settings;
    settings.SetConn(4);
    CTask task(&settings);
    EXPECT_EQ(task.SetAffinity(0b100001), 1);
    EXPECT_EQ(task.GetAffinity(), 1u);
    EXPECT_EQ(task.SetAffinity(0b100000), 0);  // channel 6 does not exist
    EXPECT_EQ(task.GetAffinity(), 1u);
    task.SetAffinity(0b1101);
    EXPECT_EQ(task.AffinityText(), "1/3/4");
}

TEST(Task, ProgressAcceptsZeroToPartCount) {
    CNamedLocks locks;
    CTask task;
    FillDownload(task, 3);
    EXPECT_EQ(task.SetProgress(locks, 3, 999), 1);
    EXPECT_EQ(task.GetPartsFetched(), 3u);
    EXPECT_EQ(task.SetProgress(locks, 4, 1), 0);
    EXPECT_EQ(task.SetProgress(locks, -1, 1), 0);
    EXPECT_EQ(task.GetBytesWritten(), 999u);
    EXPECT_FALSE(locks.IsHeld(kTaskProgressLock));
}

TEST(Task, TextForms) {
    CTask task;
    task.SetType(kTaskScanNew);
    EXPECT_STREQ(task.TypeName(), "SCAN NEW");
    EXPECT_EQ(task.SizeText(), "n/a");
    task.SetType(kTaskDecode);
    task.SetSize(1023);
    EXPECT_EQ(task.SizeText(), "~0.00 K");
    task.SetSize(1572864);
    EXPECT_EQ(task.SizeText(), "~1.50 MB");
    task.SetSize(1u << 30);
    EXPECT_EQ(task.SizeText(), "~1.00 GB");
    task.SetType(9);
    EXPECT_STREQ(task.TypeLongName(), "<UNKNOWN>");
    task.SetResult(7);
    EXPECT_STREQ(task.ResultLongName(), "<UNKNOWN>");
    EXPECT_STREQ(task.ResultText(), "");
}

TEST(Task, RecordRoundTripAndLayout) {
    test::CTempDir dir;
    CNamedLocks locks;
    CAppSettings settings;
    settings.SetConn(3);
    CTask task(&settings);
    FillDownload(task, 3);
    task.SetId(42);
    task.SetResult(kResultPartial);
    task.SetInProgress(1);
    task.SetAffinity(6);
    task.SetSize(123456);
    task.SetStatusText("Connecting ...");
    task.SetOutputFile("/tmp/dl/file.zip");
    task.SetProgress(locks, 2, 8888);
    task.SetAssigned(1);
    task.SetBinCount(5);

    std::string record;
    task.WriteRecord(locks, record);
    ASSERT_EQ(record.size(), 1360u);  // 1336 + 8 x 3
    test::WriteFileBytes(dir / "rec", record);

    CFile file;
    ASSERT_TRUE(file.Open(dir / "rec", CFile::Mode::Read));
    CTask back(&settings);
    ASSERT_EQ(back.ReadRecord(file), 1);
    EXPECT_EQ(back.GetId(), 42u);
    EXPECT_EQ(back.GetType(), kTaskDecode);
    EXPECT_EQ(back.GetResult(), kResultPartial);
    EXPECT_EQ(back.GetInProgress(), 1u);
    EXPECT_EQ(back.GetAffinity(), 6u);
    EXPECT_EQ(back.GetSize(), 123456u);
    EXPECT_EQ(back.GetStatusText(), "Connecting ...");
    EXPECT_EQ(back.GetGroupName(), "alt.binaries.test");
    EXPECT_EQ(back.GetSaveDir(), "/tmp/dl/");
    EXPECT_EQ(back.GetSubject(), "file.zip (1/3)");
    EXPECT_EQ(back.GetOutputFile(), "/tmp/dl/file.zip");
    EXPECT_EQ(back.GetPartsFetched(), 2u);
    EXPECT_EQ(back.GetBytesWritten(), 8888u);
    EXPECT_EQ(back.GetArticles(), task.GetArticles());
    EXPECT_EQ(back.GetLines(), task.GetLines());
    EXPECT_EQ(back.GetAssigned(), 0u);  // not stored
    EXPECT_EQ(back.GetBinCount(), 0u);  // not stored

    // A file that ends inside the line counts is refused.
    test::WriteFileBytes(dir / "short", record.substr(0, record.size() - 2));
    CFile shortFile;
    ASSERT_TRUE(shortFile.Open(dir / "short", CFile::Mode::Read));
    EXPECT_EQ(back.ReadRecord(shortFile), 0);
}

TEST(Task, CopyFromTakesEverythingButAssigned) {
    CNamedLocks locks;
    CTask a;
    FillDownload(a, 2);
    a.SetProgress(locks, 1, 10);
    a.SetAssigned(1);
    a.SetMsgCount(9);
    CTask b;
    b.CopyFrom(a);
    EXPECT_EQ(b.GetSubject(), a.GetSubject());
    EXPECT_EQ(b.GetPartsFetched(), 1u);
    EXPECT_EQ(b.GetMsgCount(), 9u);
    EXPECT_EQ(b.GetAssigned(), 0u);
    EXPECT_NE(b.Key(), a.Key());
}

TEST(Task, ProgressPercentages) {
    EXPECT_EQ(ProgressPercent(0, 10), 0);
    EXPECT_EQ(ProgressPercent(5, 10), 50);
    EXPECT_EQ(ProgressPercent(10, 10), 100);
    EXPECT_EQ(ProgressPercent(11, 10), 100);
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(PartProgressPercent({100, 200, 100}, 2, 50), 37);
    EXPECT_EQ(PartProgressPercent({}, 1, 50), 0);
}

}  // namespace
}  // namespace vexlo
