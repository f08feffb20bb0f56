// A client that sends the daemon random frames: well-formed requests with mutated payloads, unknown and
// reply codes, lying lengths, cut frames. Seeded, so every run sends the same frames; bounded in count and
// time; loopback only. The daemon answers each frame or closes that one connection, and keeps serving the
// others.
#include "DaemonHarness.h"

#include "assetdb/VADClient.h"
#include "assetdb/VADFrameIO.h"
#include "assetdb/VADHandshake.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

namespace {

const KUID kSample(123456, 1001, 0);

// Codes the fuzzer leaves out: they close the daemon or make the fuzzer its command host.
bool Excluded(uint32_t code)
{
    return code == VAD_REQ_CLOSE_DAEMON || code == VAD_REQ_REGISTER_COMMAND_HOST || code == VAD_REQ_JOB_REPLY;
}

// A well-formed payload for a code, to be mutated: the fuzzer's frames then reach past the first length check.
VADBytes SeedPayload(uint32_t code, std::mt19937& rng, const std::string& root)
{
    KUID k = rng() % 2 ? kSample : KUID(static_cast<int32_t>(rng()), static_cast<int32_t>(rng() % 5000), 0);
    auto flag = [&] { return static_cast<uint8_t>(rng() % 2); };
    auto handle = [&] { return static_cast<uint32_t>(rng() % 4); };
    auto value = [&] { return static_cast<int32_t>(rng() % 3 ? rng() % 2000 : rng()); };
    std::string path = rng() % 2 ? root + "/UserData/local" : root + "/../etc";
    switch (code)
    {
    case VAD_REQ_QUERY: return VADEncode(VADQueryRequest{VADFilterElementGroup()});
    case VAD_REQ_INFO:
    case VAD_REQ_THUMBNAIL:
    case VAD_REQ_ARCHIVE_ENTRY: return VADEncode(VADKuidValueRequest{k, value()});
    case VAD_REQ_CONFIG:
    case VAD_REQ_OPEN_FOR_EDIT:
    case VAD_REQ_DELETE:
    case VAD_REQ_MISSING_DEPENDENCIES:
    case VAD_REQ_FAVOURITE: return VADEncode(VADKuidFlagRequest{k, flag()});
    case VAD_REQ_SET_KEYWORDS: return VADEncode(VADKuidTextRequest{k, "steam;red"});
    case VAD_REQ_EDIT_FOLDER:
    case VAD_REQ_RELEASE_EDIT_HANDLE: return VADEncode(VADHandleRequest{handle()});
    case VAD_REQ_REVERT:
    case VAD_REQ_COMMIT: return VADEncode(VADHandleOptionRequest{handle(), 0, 0});
    case VAD_REQ_CREATE: return VADEncode(VADCreateRequest{KUID::Null(), "fuzzed", 0});
    case VAD_REQ_INSTALL_FROM_FOLDER:
    case VAD_REQ_INSTALL_ARCHIVE: return VADEncode(VADPathOptionRequest{path, 0, 0});
    case VAD_REQ_VALIDATE:
        return VADEncode(
            VADValidateRequest{k, "local", rng() % 2 ? root + "/UserData/local/kuid 123456 1001" : "../../etc"});
    case VAD_REQ_FOLDER_CHECK:
        return VADEncode(VADTextPairRequest{"local", rng() % 2 ? "kuid 123456 1001" : "../../etc"});
    case VAD_REQ_SETTING_STRING:
    case VAD_REQ_ANALYTICS_HIT: return VADEncode(VADTextPairRequest{"internet", "dls-mirror"});
    case VAD_REQ_NEXT_CONTENT_ID:
    case VAD_REQ_USER_ID_VALID:
    case VAD_REQ_AUTHOR_NAME:
    case VAD_REQ_FLAG_REPAIR: return VADEncode(VADValueRequest{value()});
    case VAD_REQ_REPAIR_NOW: return VADEncode(VADRepairRequest{0, flag()});
    case VAD_REQ_EXPORT_PACKAGE: return VADEncode(VADExportPackageRequest{{"dxt"}, root + "/out.cdp", {}, {k}});
    case VAD_REQ_GET_SETTINGS_GROUP: return VADEncode(VADSettingsGroupRequest{"fuzz", 0});
    case VAD_REQ_SET_SETTINGS_GROUP:
    {
        TDBTagRef tree = TDBTagRef::NewContainer();
        tree.SetChildString("key", "value");
        VADSetSettingsGroupRequest req{"fuzz", {}};
        VADTreeToBytes(tree, req.tree);
        return VADEncode(req);
    }
    case VAD_REQ_SET_SETTING_INT: return VADEncode(VADSetSettingIntRequest{"fuzz", "value", value()});
    case VAD_REQ_RESOLVE_PACKAGE: return VADEncode(VADResolvePackageRequest{1, static_cast<uint32_t>(rng()), k});
    case VAD_REQ_DOWNLOAD: return VADEncode(VADDownloadRequest{1, static_cast<uint32_t>(rng()), "x.cdp", path});
    case VAD_REQ_DESCRIPTION:
    case VAD_REQ_DEPENDENCIES:
    case VAD_REQ_OBSOLETES:
    case VAD_REQ_FAULTY:
    case VAD_REQ_GET_KEYWORDS:
    case VAD_REQ_HOLD_INSTALLED:
    case VAD_REQ_PUT_BACK_HELD:
    case VAD_REQ_DLS_LATEST_KUID: return VADEncode(VADKuidRequest{k});
    default: return {};
    }
}

void Mutate(VADBytes& p, std::mt19937& rng)
{
    switch (rng() % 5)
    {
    case 0:  // left whole
        break;
    case 1:  // bytes flipped, the length words among them
        for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n && !p.empty(); ++i)
            p[rng() % p.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
    case 2:  // cut short
        p.resize(p.empty() ? 0 : rng() % p.size());
        break;
    case 3:  // trailing bytes
        for (int i = 0, n = 1 + static_cast<int>(rng() % 16); i < n; ++i) p.push_back(static_cast<uint8_t>(rng()));
        break;
    default:  // a large length word where a string or count starts
        if (p.size() >= 4)
        {
            size_t at = rng() % (p.size() - 3);
            p[at] = p[at + 1] = p[at + 2] = 0xFF;
            p[at + 3] = 0x7F;
        }
        break;
    }
}

// Reads frames until the reply to (code, id); notifications on the way are skipped. False when the daemon
// closed the connection or did not answer in time.
bool AwaitReply(RawClient& c, uint32_t code, uint32_t id, int32_t& status)
{
    for (;;)
    {
        VADFrameHeader h;
        VADBytes p;
        if (VADReceiveFrame(c.Socket(), h, p, 20000) != VADFrameRead::kOk) return false;
        if (h.code == (code | kVADReplyBit) && h.transaction == id)
        {
            VADBytes body;
            return VADDecodeReplyPayload(p, status, body);
        }
    }
}

using DaemonFuzzTest = DaemonTest;

TEST_F(DaemonFuzzTest, RandomFramesGetAnAnswerOrACutAndOtherClientsGoOn)
{
    WriteAssetFolder(inst.Path("UserData/local/kuid 123456 1001"), kSample, "Sample", "kind \"scenery\"\n", 2, 100);
    // No command host can be started here; jobs fail fast instead of waiting for one.
    StartAndOpen({"-hostwait=100"});

    std::vector<uint32_t> codes;
    for (uint32_t c = 0; c < 300; ++c)
        if (VADIsKnownRequestCode(c) && !Excluded(c)) codes.push_back(c);
    ASSERT_GT(codes.size(), 30u);

    std::mt19937 rng(20261206);
    constexpr int kFrames = 3000;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    // Mangled hellos: the daemon closes each of these connections.
    for (int i = 0; i < 40; ++i)
    {
        VADDiscoveryBlock b;
        RawClient h;
        ASSERT_TRUE(h.ConnectSilently(inst, &b));
        VADHello hello;
        hello.program = "fuzzer";
        ASSERT_TRUE(VADRandomBytes(hello.challenge.data(), hello.challenge.size()));
        const uint32_t code = rng() % 4 ? kVADHelloCode : static_cast<uint32_t>(rng());
        if (i % 2 && code == kVADHelloCode)
        {
            // A whole hello, then its proof mangled: a flip aimed at the proof (bytes 4..35) or a cut before
            // its end.
            VADHelloReply reply;
            ASSERT_TRUE(h.SayHello(hello, reply));
            VADBytes proof = VADEncodeHelloProof(VADClientProof(b.token, hello.challenge, reply.challenge));
            if (rng() % 2)
                proof[4 + rng() % 32] ^= static_cast<uint8_t>(1u << (rng() % 8));
            else
                proof.resize(rng() % 36);
            ASSERT_TRUE(h.SendFrame(code, 0, proof));
        }
        else
        {
            VADBytes payload = VADEncodeHello(hello);
            // Cut short, or under another code.
            if (code == kVADHelloCode) payload.resize(rng() % 41);
            ASSERT_TRUE(h.SendFrame(code, 0, payload));
        }
        EXPECT_TRUE(h.ClosedByPeer(10000)) << "hello " << i;
    }

    // A hello announcing more than a hello can hold is cut off at once, not after the hello's time-out.
    {
        RawClient h;
        ASSERT_TRUE(h.ConnectSilently(inst));
        uint8_t header[kVADFrameHeaderSize];
        VADEncodeFrameHeader(VADFrameHeader{kVADHelloCode, 0, kVADMaxHelloPayload + 1}, header);
        ASSERT_TRUE(h.SendRaw(header, sizeof header));
        EXPECT_TRUE(h.ClosedByPeer(2500));
    }

    // A hello of another protocol version is answered with a failure, then closed: in this protocol's layout,
    // and in the first protocol's (which carried the token itself).
    {
        VADHello hello;
        hello.protocol = kVADProtocolVersion + 1;
        VADWriter first;
        first.Raw(reinterpret_cast<const uint8_t*>("VADC"), 4);
        first.U32(1);
        first.U8(1);
        first.U64(0x1234);
        first.U32(99);
        first.String("old");
        for (const VADBytes& payload : {VADEncodeHello(hello), first.Take()})
        {
            RawClient h;
            ASSERT_TRUE(h.ConnectSilently(inst));
            ASSERT_TRUE(h.SendFrame(kVADHelloCode, 0, payload));
            VADFrameHeader fh;
            VADBytes answer;
            VADHelloReply reply;
            ASSERT_EQ(VADReceiveFrame(h.Socket(), fh, answer, 5000), VADFrameRead::kOk);
            ASSERT_TRUE(VADDecodeHelloReply(answer, reply));
            EXPECT_LT(reply.status, 0);
            EXPECT_TRUE(h.ClosedByPeer(5000));
        }
    }

    int answered = 0, cut = 0, errors = 0;
    RawClient c;
    ASSERT_TRUE(c.Connect(inst));
    for (int i = 0; i < kFrames && std::chrono::steady_clock::now() < deadline; ++i)
    {
        uint32_t id = 1 + static_cast<uint32_t>(i);
        unsigned kind = rng() % 20;
        bool expectCut = false;
        uint32_t code;
        if (kind == 0)
        {
            // A length above the bound: the connection is dropped.
            code = codes[rng() % codes.size()];
            uint8_t header[kVADFrameHeaderSize];
            VADEncodeFrameHeader(VADFrameHeader{code, id, kVADMaxPayload + 1 + static_cast<uint32_t>(rng() % 1000)},
                                 header);
            c.SendRaw(header, sizeof header);
            expectCut = true;
        }
        else if (kind == 1)
        {
            // Half a frame, then gone.
            code = codes[rng() % codes.size()];
            uint8_t header[kVADFrameHeaderSize];
            VADEncodeFrameHeader(VADFrameHeader{code, id, 64}, header);
            c.SendRaw(header, sizeof header);
            c.SendRaw("partial", 7);
            c.Socket().Close();
            expectCut = true;
        }
        else
        {
            if (kind == 2)
                code = rng() % 2 ? static_cast<uint32_t>(rng()) : (codes[rng() % codes.size()] | kVADReplyBit);
            else
                code = codes[rng() % codes.size()];
            if (Excluded(code)) code = VAD_REQ_KEEPALIVE;
            VADBytes payload = SeedPayload(code, rng, inst.Root());
            Mutate(payload, rng);
            ASSERT_TRUE(c.SendFrame(code, id, payload));
        }
        int32_t status = 0;
        if (!expectCut && AwaitReply(c, code, id, status))
        {
            ++answered;
            if (status < 0) ++errors;
        }
        else
        {
            if (!expectCut) ADD_FAILURE() << "no answer to code " << code << " (frame " << i << ")";
            ++cut;
            c = RawClient();
            ASSERT_TRUE(c.Connect(inst)) << "the daemon stopped accepting after frame " << i;
        }
    }
    EXPECT_GT(answered, kFrames / 2);
    EXPECT_GT(errors, 0);
    EXPECT_GT(cut, 0);

    // The library's connection stayed up through all of it and the records still answer.
    EXPECT_TRUE(connection.Connected());
    EXPECT_TRUE(Platform::IsProcessAlive(inst.DaemonPid()));
    EXPECT_EQ(client.GetDatabaseStatus().ValueOr(0xFFFFFFFFu), 0u);
    VADAssetInfo info;
    EXPECT_TRUE(client.GetAssetInfo(kSample, info) ||
                !std::filesystem::exists(inst.Path("UserData/local/kuid 123456 1001")));
}

}  // namespace
