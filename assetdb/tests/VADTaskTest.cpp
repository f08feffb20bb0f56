#include "FakeDaemon.h"
#include "TestSupport.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADTask.h"

#include <gtest/gtest.h>

namespace {

using VADTaskTest = ClientTest;

// Repairs in mode 150 post a warning and succeed; any other mode posts an error and fails.
void RepairDaemon(FakeDaemon& d, const FakeDaemon::Frame& f)
{
    if (f.header.code == VAD_REQ_REPAIR_NOW)
    {
        VADRepairRequest req;
        VADDecode(f.payload, req);
        VADResultNotification n;
        n.kind = req.mode == 150 ? 2 : 3;
        n.text = "checked 12 assets";
        d.Send(VAD_NOTIFY_RESULT, f.header.transaction, VADEncode(n));
        d.Reply(f, req.mode == 150 ? 0 : kVADStatusFailed);
    }
    else if (f.header.code == VAD_REQ_VALIDATE)
    {
        // The folder of asset <kuid:1:2> in "local" passes; a folder outside the content folders is refused, as
        // the daemon refuses it.
        VADValidateRequest req;
        VADDecode(f.payload, req);
        if (req.folder.rfind(d.Root() + "/", 0) != 0)
        {
            VADResultNotification n;
            n.kind = kResultError;
            n.text = "$vad_unable_read_config_at";
            d.Send(VAD_NOTIFY_RESULT, f.header.transaction, VADEncode(n));
            return d.Reply(f, kVADStatusFailed);
        }
        const bool passes = req.kuid == KUID(1, 2) && req.source == "local" &&
                            req.folder == GetContentFolder("local").str() + "/kuid 1 2";
        d.Reply(f, 0, VADEncode(VADBoolReply{passes ? uint8_t(1) : uint8_t(0)}));
    }
}

}  // namespace

TEST_F(VADTaskTest, RepairRunsOnTheCallingThreadAndReportsIntoTheTask)
{
    FakeDaemon daemon(connection_, RepairDaemon);
    ASSERT_TRUE(Open());
    {
        VADTask task;
        VADTaskRepairDatabase repair(connection_, 150, 1, 0);
        repair.RunOnCallingThread(task);
        EXPECT_FALSE(task.Failed());
        EXPECT_EQ(task.WarningCount(), 1u);
    }
    {
        VADTask task;
        VADTaskRepairDatabase repair(connection_, 100, 1, 0);
        repair.RunOnCallingThread(task);
        EXPECT_TRUE(task.Failed());
        EXPECT_EQ(task.ErrorCount(), 1u) << "the daemon's own error, no second one";
    }
    VADRepairRequest req;
    ASSERT_TRUE(daemon.Sent(VAD_REQ_REPAIR_NOW, req));
    EXPECT_EQ(req.progress, 1);
}

TEST_F(VADTaskTest, RepairWithoutADaemonFailsWithAnError)
{
    VADTask task;
    VADTaskRepairDatabase repair(connection_, 50, 0, 0);
    repair.RunOnCallingThread(task);
    EXPECT_TRUE(task.Failed());
}

// The asset, its source and its folder go to the daemon as the edit folder gave them: one form, no
// translation on the way.
TEST_F(VADTaskTest, ValidateSendsTheAssetItsSourceAndItsFolder)
{
    FakeDaemon daemon(connection_, RepairDaemon);
    ASSERT_TRUE(SetInstallationPath(Orvo::File::Path(daemon.Root())));
    ASSERT_TRUE(Open());
    ResultsLog log;
    Orvo::File::Path folder(GetContentFolder("local"));
    folder.AddPath("kuid 1 2");
    EXPECT_TRUE(client_.ValidateAsset(KUID(1, 2), "local", folder, &log).ValueOr(false));
    EXPECT_FALSE(client_.ValidateAsset(KUID(1, 3), "local", folder, &log).ValueOr(true));
    EXPECT_FALSE(
        client_.ValidateAsset(KUID(1, 2), "local", Orvo::File::Path("/elsewhere/kuid 1 2"), &log).ValueOr(false));
    ASSERT_EQ(log.ErrorCount(), 1u);
    EXPECT_EQ(log.GetResults()[0].text.str(), "$vad_unable_read_config_at");
}
