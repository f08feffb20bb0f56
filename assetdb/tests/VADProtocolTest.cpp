#include "assetdb/VADProtocol.h"
#include "assetdb/VADRequestBounds.h"
#include "assetdb/VADRequestTypes.h"
#include "core/TBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <type_traits>

TEST(VADWireIO, PrimitivesAreLittleEndianAndStringsCountTheirZero)
{
    VADWriter w;
    w.U32(0x11223344u);
    w.U16(0xA1B2);
    w.String("ab");
    w.Kuid(KUID(3, 0x10, 2));
    const VADBytes expect = {0x44, 0x33, 0x22, 0x11, 0xB2, 0xA1, 3, 0, 0, 0, 'a', 'b', 0, 0x10, 0, 0, 0, 3, 0, 0, 4};
    EXPECT_EQ(w.Bytes(), expect);

    VADReader r(expect);
    EXPECT_EQ(r.U32(), 0x11223344u);
    EXPECT_EQ(r.U16(), 0xA1B2);
    EXPECT_EQ(r.String(), "ab");
    EXPECT_EQ(r.Kuid(), KUID(3, 0x10, 2));
    EXPECT_TRUE(r.Done());
}

TEST(VADWireIO, ReaderRefusesWhatDoesNotAddUp)
{
    // A string whose length runs past the end.
    VADBytes longString = {9, 0, 0, 0, 'a', 0};
    VADReader r1(longString);
    EXPECT_EQ(r1.String(), "");
    EXPECT_FALSE(r1.Ok());
    EXPECT_EQ(r1.U32(), 0u) << "reads after a failure yield defaults";

    // A string without its terminating zero.
    VADBytes noZero = {2, 0, 0, 0, 'a', 'b'};
    VADReader r2(noZero);
    r2.String();
    EXPECT_FALSE(r2.Ok());

    // A count far larger than the bytes that follow: refused before anything is allocated.
    VADBytes hugeCount = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4, 5, 6, 7, 8};
    VADReader r3(hugeCount);
    EXPECT_TRUE(r3.KuidList().empty());
    EXPECT_FALSE(r3.Ok());

    // Bytes left over make a payload wrong too.
    VADBytes extra = {1, 0, 0, 0, 0};
    VADReader r4(extra);
    r4.U32();
    EXPECT_TRUE(r4.Ok());
    EXPECT_FALSE(r4.Done());

    // The empty length is the empty text; a text ends at its first zero.
    VADBytes odd = {0, 0, 0, 0, 4, 0, 0, 0, 'x', 0, 'y', 0};
    VADReader r5(odd);
    EXPECT_EQ(r5.String(), "");
    EXPECT_EQ(r5.String(), "x");
    EXPECT_TRUE(r5.Done());
}

TEST(VADProtocol, FrameHeaderAndReplyPayload)
{
    VADBytes frame = VADEncodeFrame(VAD_REQ_INFO | kVADReplyBit, 7, VADEncodeReplyPayload(-4));
    const VADBytes expect = {21, 0, 0, 0x80, 7, 0, 0, 0, 4, 0, 0, 0, 0xFC, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(frame, expect);
    VADFrameHeader h = VADDecodeFrameHeader(frame.data());
    EXPECT_EQ(h.code, 21u | kVADReplyBit);
    EXPECT_EQ(h.transaction, 7u);
    EXPECT_EQ(h.length, 4u);

    int32_t status = 0;
    VADBytes body;
    EXPECT_TRUE(VADDecodeReplyPayload(VADBytes(frame.begin() + 12, frame.end()), status, body));
    EXPECT_EQ(status, -4);
    EXPECT_TRUE(body.empty());
    EXPECT_FALSE(VADDecodeReplyPayload(VADBytes{1, 2}, status, body));
}

TEST(VADProtocol, HelloRoundTripAndFixture)
{
    VADHello h;
    h.clientFlag = 0;
    for (size_t i = 0; i < h.challenge.size(); ++i) h.challenge[i] = static_cast<uint8_t>(i + 1);
    h.pid = 4242;
    h.program = "VelmarUtil";
    VADBytes bytes = VADEncodeHello(h);
    ASSERT_GE(bytes.size(), 45u);
    EXPECT_EQ(std::memcmp(bytes.data(), "VADC", 4), 0);
    EXPECT_EQ(bytes[4], 2);  // protocol
    EXPECT_EQ(bytes[8], 0);  // client flag
    EXPECT_EQ(bytes[9], 1);  // the challenge
    EXPECT_EQ(bytes[40], 32);
    EXPECT_EQ(bytes[41], 0x92);  // pid 4242, low byte first

    VADHello back;
    ASSERT_TRUE(VADDecodeHello(bytes, back));
    EXPECT_EQ(back.challenge, h.challenge);
    EXPECT_EQ(back.pid, 4242u);
    EXPECT_EQ(back.program, "VelmarUtil");
    EXPECT_EQ(back.clientFlag, 0);

    VADBytes wrongMagic = bytes;
    wrongMagic[3] = 'X';
    EXPECT_FALSE(VADDecodeHello(wrongMagic, back));
    bytes.push_back(0);
    EXPECT_FALSE(VADDecodeHello(bytes, back));

    VADHelloReply rep;
    rep.pid = 99;
    rep.challenge[0] = 7;
    rep.proof[31] = 9;
    VADHelloReply repBack;
    const VADBytes repBytes = VADEncodeHelloReply(rep);
    EXPECT_EQ(repBytes.size(), 80u);
    ASSERT_TRUE(VADDecodeHelloReply(repBytes, repBack));
    EXPECT_EQ(repBack.pid, 99u);
    EXPECT_EQ(repBack.challenge, rep.challenge);
    EXPECT_EQ(repBack.proof, rep.proof);
    EXPECT_FALSE(VADDecodeHelloReply(VADBytes(repBytes.begin(), repBytes.end() - 1), repBack));

    Sha256Digest proof{};
    proof[0] = 5;
    Sha256Digest proofBack{};
    ASSERT_TRUE(VADDecodeHelloProof(VADEncodeHelloProof(proof), proofBack));
    EXPECT_EQ(proofBack, proof);
    EXPECT_FALSE(VADDecodeHelloProof(VADEncodeReplyPayload(0), proofBack));
}

// The proofs of the hello: each depends on the token and on both challenges, and the two sides' never agree.
TEST(VADProtocol, HelloProofsNeedTheTokenAndBothChallenges)
{
    const uint64_t token = 0x1122334455667788ull;
    VADChallenge client{}, daemon{};
    client[0] = 1;
    daemon[0] = 2;
    const Sha256Digest d = VADDaemonProof(token, client, daemon);
    const Sha256Digest c = VADClientProof(token, client, daemon);
    EXPECT_FALSE(DigestsEqual(d, c));
    EXPECT_TRUE(DigestsEqual(d, VADDaemonProof(token, client, daemon)));
    EXPECT_FALSE(DigestsEqual(d, VADDaemonProof(token + 1, client, daemon)));
    EXPECT_FALSE(DigestsEqual(d, VADDaemonProof(token, daemon, client)));
    VADChallenge other = daemon;
    other[31] ^= 1;
    EXPECT_FALSE(DigestsEqual(d, VADDaemonProof(token, client, other)));
    EXPECT_FALSE(DigestsEqual(c, VADClientProof(token, other, daemon)));
    // Answering the daemon's challenge with the daemon's own proof form does not pass for the client's.
    EXPECT_FALSE(DigestsEqual(c, VADDaemonProof(token, daemon, client)));
}

TEST(VADProtocol, DiscoveryBlockAndName)
{
    VADDiscoveryBlock b;
    b.pid = 1234;
    b.port = 40000;
    b.state = VAD_STATE_READY;
    b.token = 0xDEADBEEFCAFEull;
    b.startTimeMs = 1700000000000ull;
    b.root = VADRootDigest("/opt/velmar");
    uint8_t raw[kVADDiscoveryBlockSize];
    VADEncodeDiscoveryBlock(b, raw);
    EXPECT_EQ(std::memcmp(raw, "VADS", 4), 0);
    EXPECT_EQ(raw[4], kVADDiscoveryLayout);
    EXPECT_EQ(raw[12], 40000 & 0xFF);
    EXPECT_EQ(raw[14], 0);
    EXPECT_EQ(std::memcmp(raw + 36, b.root.data(), b.root.size()), 0);  // the root's digest closes the block

    VADDiscoveryBlock back;
    ASSERT_TRUE(VADDecodeDiscoveryBlock(raw, back));
    EXPECT_EQ(back.pid, 1234u);
    EXPECT_EQ(back.port, 40000);
    EXPECT_EQ(back.state, static_cast<uint32_t>(VAD_STATE_READY));
    EXPECT_EQ(back.token, b.token);
    EXPECT_EQ(back.startTimeMs, b.startTimeMs);
    // A block serves the root whose real path it names, and no other.
    EXPECT_TRUE(VADBlockServesRoot(back, "/opt/velmar"));
    EXPECT_FALSE(VADBlockServesRoot(back, "/opt/velmar2"));
    EXPECT_FALSE(VADBlockServesRoot(back, "/opt/velmar/"));
    back.root[31] ^= 1;
    EXPECT_FALSE(VADBlockServesRoot(back, "/opt/velmar"));

    for (const uint8_t layout : {1, 3})  // the layout before the root's digest, and one we do not know
    {
        raw[4] = layout;
        EXPECT_FALSE(VADDecodeDiscoveryBlock(raw, back)) << int(layout);
    }

    std::string n1 = VADDiscoveryName(1000, "/opt/velmar");
    EXPECT_EQ(n1.rfind("/vaddaemon-1000-", 0), 0u);
    EXPECT_EQ(n1.size(), std::string("/vaddaemon-1000-").size() + 16);
    EXPECT_NE(n1, VADDiscoveryName(1000, "/opt/velmar2"));
    EXPECT_EQ(n1, VADDiscoveryName(1000, "/opt/velmar"));
}

// The link's reader and writer are streams: what one side writes with either interface the other reads
// with either, byte for byte (the command host's job streams and the daemon's payloads).
TEST(VADWireIO, PayloadsAndStreamsAreOneForm)
{
    const std::vector<KUID> kuids = {KUID(1, 2, 0), KUID(-3, 4, 127), KUID(400000, 9, 3)};
    VADWriter w;
    w.KuidList(kuids);
    w.String("text");
    TBuffer t;
    t.WriteKUIDList(kuids);
    t.WriteString("text");
    ASSERT_EQ(w.Bytes(), t.Bytes());

    TBuffer in(w.Bytes());
    std::vector<KUID> back;
    ASSERT_TRUE(in.ReadKUIDList(back));
    EXPECT_EQ(back, kuids);
    EXPECT_EQ(in.ReadString(), "text");
    VADReader r(t.Bytes());
    EXPECT_EQ(r.KuidList(), kuids);
    EXPECT_EQ(r.String(), "text");
    EXPECT_TRUE(r.Done());

    // A limit on the count is kept by both.
    TBuffer limited(w.Bytes());
    EXPECT_FALSE(limited.ReadKUIDList(back, 2));
    EXPECT_TRUE(back.empty());
}

// The request table is the one list of requests: codes, names and bounds come from it, and every code it
// names is known and no other.
TEST(VADProtocol, TheRequestTableGivesCodesNamesAndBounds)
{
    std::set<uint32_t> codes;
    std::set<std::string> names;
#define VAD_REQUEST(ID, CODE, BOUND, NAME, ...)                                                                        \
    EXPECT_EQ(uint32_t(VAD_REQ_##ID), uint32_t(CODE));                                                                 \
    EXPECT_TRUE(codes.insert(CODE).second) << "code " << CODE << " twice";                                             \
    EXPECT_TRUE(names.insert(NAME).second) << NAME << " twice";                                                        \
    EXPECT_STREQ(VADRequestName(CODE), NAME);
#include "assetdb/VADRequestTable.def"
#undef VAD_REQUEST
    EXPECT_EQ(codes.size(), 52u);
    for (uint32_t code = 0; code < 1024; ++code) EXPECT_EQ(VADIsKnownRequestCode(code), codes.count(code) == 1);
    EXPECT_STREQ(VADRequestName(1), "request");
    EXPECT_EQ(VADRequestBoundMs(VAD_REQ_INFO), kVADQueryBoundMs);
    EXPECT_EQ(VADRequestBoundMs(VAD_REQ_COMMIT), kVADAssetBoundMs);
    EXPECT_EQ(VADRequestBoundMs(VAD_REQ_INSTALL_FROM_FOLDERS), kVADLongBoundMs);
    EXPECT_EQ(VADRequestBoundMs(999), kVADQueryBoundMs);
    static_assert(std::is_same_v<VADRequestTypes<VAD_REQ_INFO>::Reply, VADAssetInfoReply>);
    static_assert(VADRequestTypes<VAD_REQ_FAVOURITE>::kMode == VADRequestMode::kAsync);
    EXPECT_EQ(VADRequestBoundMs(VAD_REQ_CONFIRM_SENT), kVADLongBoundMs);  // an asynchronous repair may come first
}

// A payload's field list keeps its documented wire form byte for byte: the asset record and the web reply
// written field by field with the primitives are the bytes the field lists give.
TEST(VADWireIO, FieldListsKeepTheWireForms)
{
    VADAssetInfo info;
    info.kuid = KUID(7, 8, 2);
    info.username = "Coach";
    info.kind = Orvo::PString("traincar");
    info.category = Orvo::PString("TV");
    info.region = "UK";
    info.era = "1950s";
    info.fileSize = 1234;
    info.categoryCodes = "TV;UK";
    info.authorId = -3;
    info.build = 3.5f;
    info.flags = 9;
    info.flags2 = 2;
    info.installTime = 1600000000;
    info.modifiedTime = 1600000001;
    info.valid = 1;
    VADWriter w;
    w.Kuid(info.kuid);
    for (const char* s : {"Coach", "traincar", "TV", "UK", "1950s"}) w.String(s);
    w.U32(1234);
    w.String("TV;UK");
    w.I32(-3);
    w.F32(3.5f);
    w.U8(9);
    w.U8(2);
    w.U64(1600000000);
    w.U64(1600000001);
    w.U8(1);
    EXPECT_EQ(VADEncode(VADAssetInfoReply{info}), w.Bytes());

    VADWebReplyNotification web{1, 2, 1, {3, 4, 5}, "p", "n", "t"};
    VADWriter v;
    for (uint32_t x : {1u, 2u}) v.U32(x);
    v.U8(1);
    for (uint32_t x : {3u, 4u, 5u}) v.U32(x);
    for (const char* s : {"p", "n", "t"}) v.String(s);
    EXPECT_EQ(VADEncode(web), v.Bytes());

    VADAssetFoldersReply folders{{{1, "a"}, {0, ""}}};
    VADWriter f;
    f.U32(2);
    f.U8(1);
    f.String("a");
    f.U8(0);
    f.String("");
    EXPECT_EQ(VADEncode(folders), f.Bytes());
    VADAssetFoldersReply back;
    VADBytes lying = f.Bytes();
    lying[0] = 200;  // more entries than the bytes could hold
    EXPECT_FALSE(VADDecode(lying, back));
}
