#include "daemon/HoldRecord.h"

#include "assetdb/VADWireIO.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool MakeHoldFolder(const DaemonRoot& root, std::string& why)
{
    const std::string folder = HoldFolder(root);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    {
        why = "the folder '" + folder + "' could not be made: " + std::strerror(errno);
        return false;
    }
    struct stat st
    {};
    if (::lstat(folder.c_str(), &st) != 0)
    {
        why = "the folder '" + folder + "' cannot be read: " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
    {
        why = "'" + folder + "' is not a folder that only this user may enter";
        return false;
    }
    return true;
}

std::string EncodeHoldRecord(const AssetRecord& r)
{
    VADWriter w;
    w.Raw(reinterpret_cast<const uint8_t*>(kMagic), sizeof kMagic);
    w.U32(kVersion);
    w.Kuid(r.kuid);
    for (const std::string* s : {&r.source, &r.folder, &r.builtinFolder, &r.username, &r.kind, &r.categoryClass,
                                 &r.categoryRegion, &r.categoryEra})
        w.String(*s);
    w.F32(r.build);
    w.U8(r.flags);
    w.I32(r.authorId);
    for (const std::string* s : {&r.author, &r.description, &r.keywords}) w.String(*s);
    w.U8(r.favourite ? 1 : 0);
    w.U64(r.size);
    w.U64(r.installTime);
    w.U64(r.modifiedTime);
    w.I32(r.validation);
    w.String(r.configStamp);
    w.KuidList(r.dependencies);
    w.KuidList(r.obsoletes);
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
    rec.kuid = r.Kuid();
    for (std::string* s : {&rec.source, &rec.folder, &rec.builtinFolder, &rec.username, &rec.kind, &rec.categoryClass,
                           &rec.categoryRegion, &rec.categoryEra})
        *s = r.String();
    rec.build = r.F32();
    rec.flags = r.U8();
    rec.authorId = r.I32();
    for (std::string* s : {&rec.author, &rec.description, &rec.keywords}) *s = r.String();
    const uint8_t favourite = r.U8();
    rec.favourite = favourite != 0;
    rec.size = r.U64();
    rec.installTime = r.U64();
    rec.modifiedTime = r.U64();
    rec.validation = r.I32();
    rec.configStamp = r.String();
    rec.dependencies = r.KuidList();
    rec.obsoletes = r.KuidList();
    if (!r.Done()) return Fail(why, "its length does not match its fields");
    if (rec.kuid.IsNull() || (rec.source != "local" && rec.source != "builtin") || !FolderFitsSource(rec) ||
        favourite > 1 || rec.validation < kValidationUnknown || rec.validation > kValidationPassed)
        return Fail(why, "its values are not those of an asset's record");
    out = std::move(rec);
    return true;
}
