#include "daemon/HoldRecord.h"

#include "assetdb/VADFields.h"
#include "platform/OwnerOnlyFile.h"

#include <cstring>

namespace {

constexpr char kMagic[4] = {'V', 'H', 'L', 'D'};
constexpr uint32_t kVersion = 1;

bool Fail(std::string* why, const std::string& text)
{
    if (why) *why = text;
    return false;
}

// A record's folder lies below its source's folder, relative to the root.
bool FolderFitsSource(const AssetRecord& r)
{
    const std::string_view below = r.source == "local" ? "UserData/local/" : "builtin/";
    return IsSafeRelativePath(r.folder) && r.folder.size() > below.size() && r.folder.rfind(below, 0) == 0 &&
           (r.builtinFolder.empty() ||
            (IsSafeRelativePath(r.builtinFolder) && r.builtinFolder.rfind("builtin/", 0) == 0));
}

}  // namespace

std::string HoldFolder(const DaemonRoot& root) { return root.UserData("held"); }

std::string HeldCopyFolder(const DaemonRoot& root, const KUID& k)
{
    return HoldFolder(root) + "/" + k.ToSpacedString();
}

std::string HoldRecordName(const KUID& k) { return k.ToSpacedString() + ".hold"; }

std::string HeldRecordFile(const DaemonRoot& root, const KUID& k) { return HoldFolder(root) + "/" + HoldRecordName(k); }

bool MakeHoldFolder(const DaemonRoot& root, std::string& why)
{
    return Platform::MakeOwnerOnlyFolder(HoldFolder(root), &why);
}

namespace {

// The record's fields in the file's order (HoldRecord.h), for writing and reading alike; `favourite` stands for
// r.favourite, which the file holds as a byte.
template <typename Record, typename Visit>
void HoldRecordFields(Record& r, uint8_t& favourite, Visit&& visit)
{
    visit(r.kuid, r.source, r.folder, r.builtinFolder, r.username, r.kind, r.categoryClass, r.categoryRegion,
          r.categoryEra, r.build, r.flags, r.authorId, r.author, r.description, r.keywords, favourite, r.size,
          r.installTime, r.modifiedTime, r.validation, r.configStamp, r.dependencies, r.obsoletes);
}

}  // namespace

std::string EncodeHoldRecord(const AssetRecord& r)
{
    VADWriter w;
    w.Raw(reinterpret_cast<const uint8_t*>(kMagic), sizeof kMagic);
    w.U32(kVersion);
    uint8_t favourite = r.favourite ? 1 : 0;
    HoldRecordFields(r, favourite, [&w](const auto&... field) { (VADPutField(w, field), ...); });
    const VADBytes& bytes = w.Bytes();
    return std::string(bytes.begin(), bytes.end());
}

bool DecodeHoldRecord(std::string_view bytes, AssetRecord& out, std::string* why)
{
    VADReader r(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    r.RefuseZeroInStrings();
    uint8_t magic[sizeof kMagic] = {};
    if (!r.Raw(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0)
        return Fail(why, "it is not a record of a held asset");
    if (const uint32_t version = r.U32(); version != kVersion)
        return Fail(why, "it is a record of version " + std::to_string(version) + ", not " + std::to_string(kVersion));
    AssetRecord rec;
    uint8_t favourite = 0;
    HoldRecordFields(rec, favourite, [&r](auto&... field) { (VADGetField(r, field), ...); });
    rec.favourite = favourite != 0;
    if (!r.Done()) return Fail(why, "its length does not match its fields");
    if (rec.kuid.IsNull() || (rec.source != "local" && rec.source != "builtin") || !FolderFitsSource(rec) ||
        favourite > 1 || rec.validation < kValidationUnknown || rec.validation > kValidationPassed)
        return Fail(why, "its values are not those of an asset's record");
    out = std::move(rec);
    return true;
}
