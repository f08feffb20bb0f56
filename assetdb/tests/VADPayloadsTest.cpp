#include "assetdb/VADPayloads.h"
#include "assetdb/VADAssetInfo.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

// Every strict prefix of a valid payload and the payload with one extra byte are refused.
template <typename T>
void ExpectTruncationAndExtraRefused(const VADBytes& bytes)
{
    T out;
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(VADDecode(bytes.data(), n, out)) << "prefix of " << n << " bytes accepted";
    VADBytes longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(VADDecode(longer, out)) << "over-long payload accepted";
}

// Random byte flips, truncations and insertions never crash a decoder or make it read out of bounds;
// what it accepts must re-encode to a payload it accepts again.
template <typename T>
void Mutate(const VADBytes& seed, uint32_t rounds = 3000)
{
    std::mt19937 rng(12345);
    for (uint32_t i = 0; i < rounds; ++i)
    {
        VADBytes b = seed;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e)
        {
            switch (rng() % 4)
            {
            case 0:
                if (!b.empty()) b[rng() % b.size()] = static_cast<uint8_t>(rng());
                break;
            case 1:
                if (!b.empty()) b.resize(rng() % b.size());
                break;
            case 2: b.insert(b.begin() + (b.empty() ? 0 : rng() % b.size()), static_cast<uint8_t>(rng())); break;
            case 3:
                if (b.size() >= 4)
                {
                    size_t at = rng() % (b.size() - 3);
                    b[at] = b[at + 1] = b[at + 2] = 0xFF;
                }
                break;
            }
        }
        T out;
        if (VADDecode(b, out))
        {
            T again;
            EXPECT_TRUE(VADDecode(VADEncode(out), again));
        }
    }
}

struct InfoPayload
{
    VADAssetInfo info;
    VAD_FIELDS(info)
};

VADQueryRequest SampleQuery()
{
    VADQueryRequest q;
    q.filter.Add(new VADFilterElementString(VAD_FIELD_CATEGORY_LIST, "CN"));
    q.filter.Add(new VADFilterElementBool(VAD_FIELD_LOCAL));
    q.filter.Add(new VADFilterElementInteger(VAD_FIELD_BUILD, VAD_CMP_GREATER_EQUAL, 280));
    q.filter.Add(new VADFilterElementTime(VAD_FIELD_INSTALL_TIME, VAD_CMP_LESS, 1700000000ull));
    q.filter.Add(new VADFilterElementAssetID(VAD_FIELD_ASSET_ID, KUID(-3, 77, 1)));
    auto* inner = new VADFilterElementGroup();
    inner->Add(new VADFilterElementBool(VAD_FIELD_OBSOLETE));
    inner->SetNegated(true);
    q.filter.Add(inner);
    return q;
}

}  // namespace

TEST(VADPayloads, QueryFilterTreeRoundTrip)
{
    VADQueryRequest q = SampleQuery();
    VADBytes bytes = VADEncode(q);
    VADQueryRequest back;
    ASSERT_TRUE(VADDecode(bytes, back));
    ASSERT_EQ(back.filter.GetChildCount(), 6u);
    auto* s = static_cast<const VADFilterElementString*>(back.filter.GetChild(0));
    EXPECT_EQ(s->GetType(), VADFilterElement::kString);
    EXPECT_EQ(s->GetField(), VAD_FIELD_CATEGORY_LIST);
    EXPECT_EQ(s->GetValue(), "CN");
    auto* n = static_cast<const VADFilterElementInteger*>(back.filter.GetChild(2));
    EXPECT_EQ(n->GetCompare(), VAD_CMP_GREATER_EQUAL);
    EXPECT_EQ(n->GetValue(), 280);
    auto* t = static_cast<const VADFilterElementTime*>(back.filter.GetChild(3));
    EXPECT_EQ(t->GetValue(), 1700000000ull);
    auto* a = static_cast<const VADFilterElementAssetID*>(back.filter.GetChild(4));
    EXPECT_EQ(a->GetValue(), KUID(-3, 77, 1));
    auto* g = static_cast<const VADFilterElementGroup*>(back.filter.GetChild(5));
    ASSERT_EQ(g->GetType(), VADFilterElement::kGroup);
    EXPECT_TRUE(g->IsNegated());
    EXPECT_EQ(g->GetChild(0)->GetField(), VAD_FIELD_OBSOLETE);
    EXPECT_EQ(VADEncode(back), bytes);
    ExpectTruncationAndExtraRefused<VADQueryRequest>(bytes);

    // Hand-made: an empty group is a type byte, the negated byte and a zero count.
    VADQueryRequest empty;
    EXPECT_EQ(VADEncode(empty), (VADBytes{0, 0, 0, 0, 0, 0}));
}

TEST(VADPayloads, QueryRefusesBadTrees)
{
    VADQueryRequest out;
    // The root must be a group.
    EXPECT_FALSE(VADDecode(VADBytes{2, 0, 0, 0, 0, 1}, out));
    // Unknown node type inside a group.
    EXPECT_FALSE(VADDecode(VADBytes{0, 0, 1, 0, 0, 0, 9}, out));
    // A boolean that is neither 0 nor 1, an unknown comparison.
    EXPECT_FALSE(VADDecode(VADBytes{0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 7}, out));
    EXPECT_FALSE(VADDecode(VADBytes{0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0, 9, 0, 0, 0, 0}, out));
    // A child count that the bytes cannot hold.
    EXPECT_FALSE(VADDecode(VADBytes{0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0}, out));
    // Nesting deeper than allowed.
    VADBytes deep;
    for (unsigned i = 0; i < kVADFilterMaxDepth + 2; ++i) deep.insert(deep.end(), {0, 0, 1, 0, 0, 0});
    deep.insert(deep.end(), {0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(VADDecode(deep, out));
}

TEST(VADPayloads, AssetInfoRoundTrip)
{
    InfoPayload p;
    p.info.kuid = KUID(123, 456, 3);
    p.info.username = "Blue coach";
    p.info.kind = Orvo::PString("traincar");
    p.info.category = Orvo::PString("TV;CO");
    p.info.region = "UK";
    p.info.era = "1950s";
    p.info.fileSize = 98765;
    p.info.categoryCodes = "TR;TV";
    p.info.authorId = 123;
    p.info.build = 3.7f;
    p.info.flags = VAD_INFO_INSTALLED | VAD_INFO_ON_DLS;
    p.info.flags2 = VAD_INFO2_OPEN_FOR_EDIT;
    p.info.installTime = 1600000000;
    p.info.modifiedTime = 1600000100;
    p.info.valid = 1;
    VADBytes bytes = VADEncode(p);
    InfoPayload back;
    ASSERT_TRUE(VADDecode(bytes, back));
    EXPECT_EQ(back.info.kuid, p.info.kuid);
    EXPECT_EQ(back.info.username, "Blue coach");
    EXPECT_TRUE(back.info.kind == "traincar");
    EXPECT_TRUE(back.info.category == "TV;CO");
    EXPECT_EQ(back.info.fileSize, 98765u);
    EXPECT_FLOAT_EQ(back.info.build, 3.7f);
    EXPECT_TRUE(back.info.IsInstalled());
    EXPECT_TRUE(back.info.IsOnDownloadStation());
    EXPECT_TRUE(back.info.IsOpenForEdit());
    EXPECT_FALSE(back.info.IsArchived());
    EXPECT_TRUE(back.info.IsValid());
    EXPECT_EQ(back.info.modifiedTime, 1600000100u);
    ExpectTruncationAndExtraRefused<InfoPayload>(bytes);
}

TEST(VADPayloads, RequestAndReplyRoundTrips)
{
    auto check = [](auto value, auto&& same) {
        using T = std::decay_t<decltype(value)>;
        VADBytes bytes = VADEncode(value);
        T back;
        ASSERT_TRUE(VADDecode(bytes, back));
        EXPECT_TRUE(same(value, back));
        EXPECT_EQ(VADEncode(back), bytes);
        ExpectTruncationAndExtraRefused<T>(bytes);
    };

    check(VADKuidFlagRequest{KUID(1, 2), 1}, [](auto& a, auto& b) { return a.kuid == b.kuid && a.flag == b.flag; });
    check(VADKuidValueRequest{KUID(1, 2, 5), -1}, [](auto& a, auto& b) { return a.value == b.value; });
    check(VADKuidTextRequest{KUID(9, 9), "steam;uk"}, [](auto& a, auto& b) { return a.text == b.text; });
    check(VADHandleOptionRequest{17, 14, 1}, [](auto& a, auto& b) { return a.option == b.option; });
    check(VADCreateRequest{KUID::Null(), "New asset", 1}, [](auto& a, auto& b) { return a.name == b.name; });
    check(VADTextPairRequest{"local", "kuid 1 2"}, [](auto& a, auto& b) { return a.second == b.second; });
    check(VADPathOptionRequest{"/tmp/a.cdp", 2, 0}, [](auto& a, auto& b) { return a.path == b.path && a.value == 2; });
    check(VADExportPackageRequest{{"dxtc", "etc1"}, "/p/pkg", {"base"}, {KUID(1, 2), KUID(3, 4, 1)}},
          [](auto& a, auto& b) {
              return a.targets == b.targets && a.dependencies == b.dependencies && a.kuids == b.kuids;
          });
    check(VADRepairRequest{150, 0}, [](auto& a, auto& b) { return a.mode == b.mode && a.progress == b.progress; });
    check(VADSetSettingsGroupRequest{"internet", {'A', 'C', 'S', '$'}},
          [](auto& a, auto& b) { return a.tree == b.tree; });
    check(VADSetSettingIntRequest{"developer", "max_backup_folders", 30},
          [](auto& a, auto& b) { return a.value == b.value; });
    check(VADDownloadRequest{1, 2, "mirror/x.cdp", "/tmp"}, [](auto& a, auto& b) { return a.source == b.source; });
    check(VADKuidListReply{{KUID(1, 1), KUID(-5, 3, 2)}}, [](auto& a, auto& b) { return a.kuids == b.kuids; });
    check(VADEditFolderReply{"editing", "/x/UserData/editing/kuid 1 2"},
          [](auto& a, auto& b) { return a.folder == b.folder; });
    check(VADThumbnailReply{"t", "/a/b.jpg", ""}, [](auto& a, auto& b) { return a.path == b.path; });
    check(VADResultNotification{3, 1, "AssetID", KUID(1, 2), "$vad_installed", {1, 2, 3}},
          [](auto& a, auto& b) { return a.text == b.text && a.source == b.source && a.params == b.params; });
    VADWebReplyNotification web;
    web.idHigh = 5;
    web.idLow = 6;
    web.complete = 1;
    web.words[2] = 77;
    web.path = "/tmp/x.cdp";
    check(web, [](auto& a, auto& b) { return a.words[2] == b.words[2] && a.path == b.path && a.idLow == b.idLow; });
}

TEST(VADPayloads, BoolRepliesAndResultKindsAreChecked)
{
    VADBoolReply b;
    EXPECT_TRUE(VADDecode(VADBytes{1}, b));
    EXPECT_EQ(b.value, 1);
    EXPECT_FALSE(VADDecode(VADBytes{2}, b));
    VADResultNotification n{5, 0, "", KUID::Null(), "x", {}};
    VADResultNotification back;
    EXPECT_FALSE(VADDecode(VADEncode(n), back));
}

TEST(VADPayloads, JobsInTheCommandHostForm)
{
    VADJob v;
    v.command = VAD_CMDHOST_VALIDATE;
    v.source = "local";
    v.path = "kuid 1 2";
    // u32 id, then two strings.
    const VADBytes expect = {0, 0, 0, 0, 6,   0,   0,   0,   'l', 'o', 'c', 'a', 'l', 0,
                             9, 0, 0, 0, 'k', 'u', 'i', 'd', ' ', '1', ' ', '2', 0};
    EXPECT_EQ(VADEncode(v), expect);

    VADJob a;
    a.command = VAD_CMDHOST_ARCHIVE_INSTALL;
    a.archiveId = 9;
    a.path = "/tmp/job.crak";
    a.kuids = {KUID(1, 2), KUID(3, 4)};
    VADJob back;
    ASSERT_TRUE(VADDecode(VADEncode(a), back));
    EXPECT_EQ(back.archiveId, 9u);
    EXPECT_EQ(back.kuids, a.kuids);
    ExpectTruncationAndExtraRefused<VADJob>(VADEncode(a));
    a.staging = "/tmp/staging";
    a.unknown = {KUID(3, 4)};
    ASSERT_TRUE(VADDecode(VADEncode(a), back));
    EXPECT_EQ(back.staging, a.staging);
    EXPECT_EQ(back.unknown, a.unknown);
    ExpectTruncationAndExtraRefused<VADJob>(VADEncode(a));
    EXPECT_FALSE(VADDecode(VADBytes{7, 0, 0, 0}, back)) << "unknown command id";

    // A save job names the folder of the copies to save only when there is one: without it, its bytes are
    // those a host that knows no such folder reads.
    VADJob save;
    save.command = VAD_CMDHOST_ARCHIVE_SAVETODISK;
    save.archiveId = 3;
    save.path = "/tmp/export.crak";
    save.kuids = {KUID(1, 2)};
    const VADBytes plain = VADEncode(save);
    save.staging = "/r/UserData/packages/p.export-partial";
    const VADBytes withCopies = VADEncode(save);
    EXPECT_EQ(withCopies.size(), plain.size() + 4 + save.staging.size() + 1);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), withCopies.begin()));
    ASSERT_TRUE(VADDecode(withCopies, back));
    EXPECT_EQ(back.staging, save.staging);
    ASSERT_TRUE(VADDecode(plain, back));
    EXPECT_EQ(back.staging, "");
}

// The command host's reply: the job's command id, its results, then the answer its command gives.
TEST(VADPayloads, HostRepliesInTheirOneForm)
{
    VADHostReply v;
    v.command = VAD_CMDHOST_VALIDATE;
    v.results.push_back(VADResultNotification{3, 1, "AssetID", KUID(1, 2), "bad", {}});
    v.answer = 1;
    // u32 command | u32 n | per result: u32 kind, u8 has source, string name, KUID, string text, blob params |
    // u32 answer.
    const VADBytes expect = {0,   0,   0,   0,   1,   0,   0,   0, 3, 0, 0, 0, 1, 8, 0, 0, 0,
                             'A', 's', 's', 'e', 't', 'I', 'D', 0, 2, 0, 0, 0, 1, 0, 0, 0, 4,
                             0,   0,   0,   'b', 'a', 'd', 0,   0, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(VADEncode(v), expect);
    VADHostReply back;
    ASSERT_TRUE(VADDecode(expect, back));
    ASSERT_EQ(back.results.size(), 1u);
    EXPECT_EQ(back.results[0].text, "bad");
    EXPECT_EQ(back.results[0].source, KUID(1, 2));
    EXPECT_EQ(back.answer, 1u);
    ExpectTruncationAndExtraRefused<VADHostReply>(expect);

    VADHostReply install;
    install.command = VAD_CMDHOST_ARCHIVE_INSTALL;
    install.installed = {KUID(1, 2), KUID(3, 4)};
    ASSERT_TRUE(VADDecode(VADEncode(install), back));
    EXPECT_EQ(back.installed, install.installed);
    EXPECT_TRUE(back.results.empty());
    ExpectTruncationAndExtraRefused<VADHostReply>(VADEncode(install));

    // No job's reply: an empty one (a job the host could not read), an unknown command, a verdict other than
    // 1 or 0, a result of no kind.
    EXPECT_FALSE(VADDecode(VADBytes{}, back));
    EXPECT_FALSE(VADDecode(VADBytes{9, 0, 0, 0, 0, 0, 0, 0}, back));
    v.answer = 2;
    EXPECT_FALSE(VADDecode(VADEncode(v), back));
    v.answer = 0;
    v.results[0].kind = 0;
    EXPECT_FALSE(VADDecode(VADEncode(v), back));
    // A texture conversion answers with its result, whatever it is.
    v.command = VAD_CMDHOST_TEXTURECONVERT;
    v.results.clear();
    v.answer = 2;
    EXPECT_TRUE(VADDecode(VADEncode(v), back));
    // A count of results beyond what the bytes could hold is refused before anything is read.
    EXPECT_FALSE(VADDecode(VADBytes{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 2, 0, 0, 0}, back));
}

TEST(VADPayloads, RandomMutationsOfEveryDecoder)
{
    Mutate<VADQueryRequest>(VADEncode(SampleQuery()));
    InfoPayload p;
    p.info.username = "name";
    p.info.kind = Orvo::PString("kind");
    Mutate<InfoPayload>(VADEncode(p));
    Mutate<VADExportPackageRequest>(VADEncode(VADExportPackageRequest{{"a", "b"}, "p", {"c"}, {KUID(1, 2)}}));
    Mutate<VADResultNotification>(VADEncode(VADResultNotification{2, 1, "n", KUID(1, 2), "t", {1, 2}}));
    Mutate<VADWebReplyNotification>(VADEncode(VADWebReplyNotification{}));
    VADJob j;
    j.command = VAD_CMDHOST_ARCHIVE_SAVETODISK;
    j.kuids = {KUID(1, 2)};
    Mutate<VADJob>(VADEncode(j));
    VADHostReply h;
    h.command = VAD_CMDHOST_ARCHIVE_INSTALL;
    h.results.push_back(VADResultNotification{2, 1, "AssetID", KUID(1, 2), "t", {}});
    h.installed = {KUID(1, 2)};
    Mutate<VADHostReply>(VADEncode(h));
    Mutate<VADValidateRequest>(VADEncode(VADValidateRequest{KUID(1, 2), "local", "/r/UserData/local/kuid 1 2"}));
    Mutate<VADKuidListReply>(VADEncode(VADKuidListReply{{KUID(1, 2), KUID(2, 3)}}));
    Mutate<VADSetSettingsGroupRequest>(VADEncode(VADSetSettingsGroupRequest{"g", {1, 2, 3}}));
}

// A request's text holding a zero byte is refused whole; elsewhere the text ends at the zero, as it always did.
TEST(VADPayloads, RequestTextsWithAZeroByteAreRefusedNotCut)
{
    VADKuidTextRequest request;
    request.kuid = KUID(900001, 100, 0);
    request.text = std::string("ste\0I;red", 9);
    const VADBytes bytes = VADEncode(request);
    VADKuidTextRequest decoded;
    EXPECT_FALSE(VADDecodeRequest(bytes, decoded));
    ASSERT_TRUE(VADDecode(bytes, decoded));
    EXPECT_EQ(decoded.text, "ste");

    request.text = "steel;red";
    ASSERT_TRUE(VADDecodeRequest(VADEncode(request), decoded));
    EXPECT_EQ(decoded.text, "steel;red");
    request.text.clear();
    ASSERT_TRUE(VADDecodeRequest(VADEncode(request), decoded));
    EXPECT_EQ(decoded.text, "");
}
