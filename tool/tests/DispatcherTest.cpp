// The command table without a daemon: word matching and the parameter checks, which must answer before
// any request is made. (Fixed answers and the refusals a user meets: tests/e2e, CommandsE2ETest.cpp and
// the bad-input table of UserSessionE2ETest.cpp.)
#include "CommandTestSupport.h"

#include "assetdb/VADConnection.h"
#include "assetdb/tests/FakeDaemon.h"
#include "tool/CommandArgs.h"

namespace {

const char kInvalidWord[] = "Invalid argument, please check the help for the list of valid argument\n";

TEST(DispatcherTest, EchoKeepsArgumentsAsTyped)
{
    EXPECT_EQ(RunWords({"echo", "a", "b"}).out, "a b \n");
    EXPECT_EQ(RunWords({"ECHO", "Mixed Case", ""}).out, "Mixed Case  \n");
    EXPECT_EQ(RunWords({"echo"}).out, "\n");
}

TEST(DispatcherTest, UnknownWordsAndShortRows)
{
    for (auto words : std::vector<std::vector<std::string>>{
             {"frobnicate"}, {""}, {" version"}, {"registeraccount", "user"}, {"export-package", "dxtc"}})
    {
        CommandRun r = RunWords(words);
        EXPECT_EQ(r.exit, -1) << words[0];
        ASSERT_EQ(r.results.size(), 1u) << words[0];
        EXPECT_EQ(r.results[0].kind, kResultError);
        EXPECT_EQ(r.results[0].text.str(), kInvalidWord);
        EXPECT_FALSE(r.results[0].source);
    }
    // No command word at all.
    ResultsLog log;
    EngineObjects engine{};
    ToolContext tool(nullptr, engine);
    char program[] = "VelmarUtil";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(DispatchCommand(tool, log, 1, argv), -1);
    EXPECT_EQ(log.ErrorCount(), 1u);
}

TEST(DispatcherTest, MissingParametersGiveTheirMessage)
{
    struct Case
    {
        std::vector<std::string> words;
        const char* message;
    };
    const Case cases[] = {
        {{"printconfig", ""}, "Missing AssetID parameter."},
        {{"delete", "kuid 1 x"}, "Missing AssetID parameter."},
        {{"status", "NULLKUID"}, "Missing AssetID parameter."},
        {{"installfromdls", "hello"}, "Missing AssetID parameter."},
        {{"validate"}, "Missing AssetID parameter."},
        {{"installcdp"}, "Missing input filepath parameter."},
        {{"installfrompath", ""}, "Missing input path parameter."},
        {{"importconsists"}, "Missing input path parameter."},
        {{"listbuilds"}, "Missing path parameter."},
        {{"setnextcontentid"}, "Missing or invalid ContentID parameter."},
        {{"setnextcontentid", "0"}, "Missing or invalid ContentID parameter."},
        {{"setnextcontentid", "99999999999"}, "Missing or invalid ContentID parameter."},
        {{"searchbycategory", "-a", ""}, "Missing category parameter."},
        {{"compile"}, "Invalid file path."},
        {{"encrypt"}, "Invalid file path."},
        {{"createcdp"}, "Missing output path parameter."},
        {{"createcdp", "out.zip", "<kuid:1:2>"}, "The output filename must have a .cdp extension."},
        {{"export-package", "dxtc", "sub/Caps", "<kuid:1:2>"}, "Invalid uppercase package name \"Caps\""},
        {{"export-package", "dxtc", "trains", "base", "<kuid:1:2>", "extra"},
         "Expected KUID parameter but found \"extra\""},
        {{"export-package", "dxtc", "trains", "base", "core"}, "Missing AssetID parameter."},
        {{"dlsparse"}, "Missing CDP filepath."},
        {{"dlsparsefolder", ""}, "No folder path set"},
    };
    for (const Case& c : cases)
    {
        CommandRun r = RunWords(c.words);
        EXPECT_EQ(r.exit, -1) << c.words[0];
        ASSERT_FALSE(r.results.empty()) << c.words[0];
        EXPECT_EQ(r.results[0].text.str(), c.message) << c.words[0];
        EXPECT_EQ(r.out, "") << c.words[0];
    }
}

TEST(DispatcherTest, SetMaxBackupFoldersWithoutNumberSaysSo)
{
    CommandRun r = RunWords({"setmaxbackupfolders"});
    EXPECT_EQ(r.exit, -1);
    EXPECT_EQ(r.Texts(), std::vector<std::string>{"Missing number parameter."});
    // A number above the bound is sent as the bound; a setting that could not be sent fails the command.
    VADConnection connection;
    FakeDaemon daemon(connection, [](FakeDaemon& d, const FakeDaemon::Frame& f) { d.Reply(f, 0); });
    VADConnectionSettings s;
    s.startDaemon = 0;
    ASSERT_TRUE(connection.Open(s));
    EXPECT_EQ(RunWords({"setmaxbackupfolders", "45"}, &connection).exit, 0);
    VADSetSettingIntRequest sent;
    ASSERT_TRUE(daemon.Sent(VAD_REQ_SET_SETTING_INT, sent));
    EXPECT_EQ(sent.value, 30);
    EXPECT_EQ(RunWords({"setmaxbackupfolders", "45"}).exit, -1);
}

TEST(DispatcherTest, MissingPathsAreRefusedBeforeTheDaemon)
{
    EXPECT_EQ(RunWords({"installcdp", "/no/such/file.cdp"}).Texts(), std::vector<std::string>{"Invalid input path."});
    EXPECT_EQ(RunWords({"importconsists", "/no/such/consists.txt"}).Texts(),
              std::vector<std::string>{"Invalid input path."});
    EXPECT_EQ(RunWords({"listbuilds", "/no/such/folder/builds.txt"}).Texts(),
              (std::vector<std::string>{"Failed to open output file.",
                                        "'/no/such/folder/builds.txt': No such file or directory"}));
}

TEST(DispatcherTest, WithoutALinkEveryRequestFailsWithTheLinksOneError)
{
    VADConnection connection;  // never opened: a run whose daemon could not be reached
    struct Row
    {
        std::vector<std::string> words;
        const char* request;
    };
    const Row rows[] = {
        {{"status", "<KUID:12:34>"}, "asset info"},
        {{"edit", "kuid2 5 6 7"}, "open for edit"},
        {{"printconfig", "<kuid:5:6>"}, "asset configuration"},
        {{"commit", "<kuid:5:6>"}, "open for edit"},
        {{"delete", "<kuid:5:6>"}, "delete"},
        {{"generatekuid"}, "generate KUID"},
        {{"setnextcontentid", "5"}, "next content id"},
        {{"searchbycategory", "cmp"}, "asset query"},
        {{"registeraccount", "user", "pw"}, "get settings group"},
        {{"createcdp", "/tmp/none.cdp", "<kuid:5:6>"}, "asset folders"},
        {{"dlsparse", "/tmp/none.cdp"}, "wait until ready"},
        {{"dlsdeleteall"}, "asset query"},
    };
    for (const Row& row : rows)
    {
        CommandRun r = RunWords(row.words, &connection);
        EXPECT_EQ(r.exit, -1) << row.words[0];
        EXPECT_EQ(r.out, "") << row.words[0] << ": no false answer (a null KUID, say) is printed";
        EXPECT_EQ(r.Texts(), std::vector<std::string>{"There is no link to the asset database daemon: \"" +
                                                      std::string(row.request) + "\" was not carried out."})
            << row.words[0];
    }
    EXPECT_EQ(RunWords({"patch-finalise", "FAILED", "1", "2", "3"}, &connection).exit, 0)
        << "nothing to tell without a link";
}

TEST(DispatcherTest, ValidateWithoutADaemon)
{
    // Without a daemon no asset can be found.
    CommandRun v = RunWords({"validate", "<kuid:1:2>"});
    EXPECT_EQ(v.exit, -1);
    EXPECT_EQ(v.Texts(), std::vector<std::string>{"Unknown AssetID"});
}

TEST(CommandArgsTest, DecimalReading)
{
    int32_t v = 0;
    EXPECT_TRUE(ReadDecimalInt("  42xyz", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(ReadDecimalInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(ReadDecimalInt("2147483648", v));
    EXPECT_FALSE(ReadDecimalInt("-", v));
    EXPECT_FALSE(ReadDecimalInt(nullptr, v));
    EXPECT_EQ(ReadIntSaturated("999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(ReadIntSaturated("-999999999999999999999999"), INT32_MIN);
    EXPECT_EQ(ReadIntSaturated("x1"), 0);
}

}  // namespace
