// Commands whose request the daemon refuses: each fails with an error and prints no answer, rather than
// taking the failure for an empty or a good answer. The daemon is a stand-in that refuses one request.
#include "CommandTestSupport.h"
#include "ToolTestRoot.h"

#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/tests/FakeDaemon.h"

#include <algorithm>
#include <memory>

namespace {

const KUID kKnown(10, 20);

class RequestFailureTest : public testing::Test
{
protected:
    // A daemon that knows kKnown (handle 5, its folder in the test root's "local" source), answers every
    // request the commands make, and refuses `refused` with a bare failure status.
    void StartDaemon(uint32_t refused, uint8_t verdict = 1)
    {
        const std::string folder = ToolTestRoot() + "/UserData/local/kuid 10 20";
        daemon_ = std::make_unique<FakeDaemon>(connection_, [refused, folder, verdict](FakeDaemon& d,
                                                                                       const FakeDaemon::Frame& f) {
            if (f.header.code == refused) return d.Reply(f, kVADStatusFailed);
            switch (f.header.code)
            {
            case VAD_REQ_DATABASE_STATUS: return d.Reply(f, 0, VADEncode(VADValueReply{0}));
            case VAD_REQ_OPEN_FOR_EDIT: return d.Reply(f, 0, VADEncode(VADValueReply{5}));
            case VAD_REQ_EDIT_FOLDER: return d.Reply(f, 0, VADEncode(VADEditFolderReply{"local", folder}));
            case VAD_REQ_QUERY: return d.Reply(f, 0, VADEncode(VADKuidListReply{{kKnown}}));
            case VAD_REQ_INFO:
            {
                VADAssetInfoReply reply;
                reply.info.kuid = kKnown;
                reply.info.build = 3.5f;
                reply.info.authorId = -1;
                reply.info.valid = 1;
                return d.Reply(f, 0, VADEncode(reply));
            }
            case VAD_REQ_VALIDATE:
            {
                // The asset, its source and its folder as the edit folder gave them.
                VADValidateRequest req;
                const bool asGiven =
                    VADDecode(f.payload, req) && req.kuid == kKnown && req.source == "local" && req.folder == folder;
                return d.Reply(f, 0, VADEncode(VADBoolReply{asGiven ? verdict : uint8_t(0)}));
            }
            default: return d.Reply(f, 0);
            }
        });
        connection_.SetConnectIntervalMs(10);
        VADConnectionSettings s;
        s.startDaemon = 0;
        ASSERT_TRUE(connection_.Open(s));
    }
    void TearDown() override { connection_.Close(); }

    static bool HasError(const CommandRun& r)
    {
        for (const auto& result : r.results)
            if (result.kind == kResultError) return true;
        return false;
    }

    VADConnection connection_;
    std::unique_ptr<FakeDaemon> daemon_;
};

TEST_F(RequestFailureTest, EditWithoutItsFolderPrintsNoFolder)
{
    StartDaemon(VAD_REQ_EDIT_FOLDER);
    CommandRun r = RunWords({"edit", "<kuid:10:20>"}, &connection_);
    EXPECT_EQ(r.exit, -1);
    EXPECT_TRUE(HasError(r));
    EXPECT_EQ(r.out, "");
}

TEST_F(RequestFailureTest, AFailedSearchIsNotAnEmptyAnswer)
{
    StartDaemon(VAD_REQ_QUERY);
    CommandRun search = RunWords({"searchbycategory", "TV"}, &connection_);
    EXPECT_EQ(search.exit, -1);
    ASSERT_TRUE(HasError(search));
    for (const std::string& text : search.Texts()) EXPECT_NE(text, "No asset matches the search.");
    CommandRun count = RunWords({"countbuiltins"}, &connection_);
    EXPECT_EQ(count.exit, -1);
    EXPECT_TRUE(HasError(count));
    CommandRun authors = RunWords({"authors"}, &connection_);
    EXPECT_EQ(authors.exit, -1);
    EXPECT_TRUE(HasError(authors));
}

TEST_F(RequestFailureTest, AValidationTheDaemonRefusedFailsTheCommand)
{
    StartDaemon(VAD_REQ_VALIDATE);
    CommandRun r = RunWords({"validate", "<kuid:10:20>"}, &connection_);
    EXPECT_EQ(r.exit, -1);
    EXPECT_TRUE(HasError(r));
    ASSERT_TRUE(daemon_->WaitFor(VAD_REQ_VALIDATE, 1000)) << "the request was made";
}

// A verdict of "failed" is a failure even when nothing came with it; "passed" is not.
TEST_F(RequestFailureTest, AFailedVerdictWithoutFindingsIsStillAnError)
{
    StartDaemon(0xFFFF, 0);
    CommandRun failed = RunWords({"validate", "<kuid:10:20>"}, &connection_);
    EXPECT_TRUE(HasError(failed));
    daemon_.reset();
    connection_.Close();
    StartDaemon(0xFFFF, 1);
    CommandRun passed = RunWords({"validate", "<kuid:10:20>"}, &connection_);
    EXPECT_EQ(passed.exit, 0);
    EXPECT_FALSE(HasError(passed));
}

// A batch install that the daemon fails after it has said one of its assets was installed: that asset keeps its
// one verdict, and only the other folder is named as not installed.
TEST_F(RequestFailureTest, AFailedInstallBatchNamesOnlyTheFoldersNotSaidInstalled)
{
    const KUID installed(10, 31), lost(10, 32);
    TempFolder t;
    t.Write("assets/one/config.txt", "kuid " + installed.ToString() + "\nkind \"scenery\"\n");
    t.Write("assets/two/Config.Txt", "kuid " + lost.ToString() + "\nkind \"scenery\"\n");
    daemon_ = std::make_unique<FakeDaemon>(connection_, [installed](FakeDaemon& d, const FakeDaemon::Frame& f) {
        if (f.header.code != VAD_REQ_INSTALL_FROM_FOLDERS) return d.Reply(f, 0);
        d.Send(VAD_NOTIFY_RESULT, f.header.transaction,
               VADEncode(VADResultNotification{kResultSuccess, 1, "", installed, "Asset was installed.", {}}));
        d.Reply(f, kVADStatusFailed);
    });
    connection_.SetConnectIntervalMs(10);
    VADConnectionSettings settings;
    settings.startDaemon = 0;
    ASSERT_TRUE(connection_.Open(settings));

    CommandRun r = RunWords({"installfrompath", t.Sub("assets")}, &connection_);
    EXPECT_NE(r.exit, 0);
    const std::vector<std::string> texts = r.Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Asset was installed."), 1);
    EXPECT_EQ(
        std::count(texts.begin(), texts.end(), "The asset folder '" + t.Sub("assets/two") + "' was not installed."), 1);
    for (const std::string& text : texts) EXPECT_EQ(text.find(t.Sub("assets/one")), std::string::npos) << text;
}

}  // namespace
