#include "assetdb/ContentArchive.h"

#include "assetdb/ArchiveEntry.h"
#include "core/ConfigFile.h"

#include "engine/File.h"
#include "engine/TextCase.h"
#include "platform/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <vector>

const char* const kCDPNotValidText = "Content could not be read, as the file is not a valid CDP";
const char* const kCDPDamagedText = "Content could not be read, as the CDP file is damaged";
const char* const kCDPNewerVersionText =
    "Content could not be read, as the CDP file was made by a newer version of the program";
const char* const kCDPUnreadableText = "Content could not be read, as the file could not be opened";
const char* const kCDPNeedsExtensionText = "Unable to write archive file. Needs to be .cdp file extension";

namespace {

TDBTagRef EmptyArchiveRoot()
{
    TDBTagRef root = TDBTagRef::NewContainer();
    root.CreateChildContainer("assets");
    root.CreateChildContainer("contents-table");
    return root;
}

TDBTagRef StringTag(std::string_view text)
{
    ACSRawDataCore d;
    d.SetString(text);
    return TDBTagRef::NewData(d);
}

// The shape every reader of an archive relies on: "assets" is a container of containers.
bool HasArchiveShape(const TDBTagRef& root)
{
    TDBTagRef assets = root.GetChild("assets");
    if (!assets.IsContainer()) return false;
    for (size_t i = 0; i < assets.GetChildCount(); ++i)
        if (!assets.GetChildAt(i).IsContainer()) return false;
    TDBTagRef table = root.GetChild("contents-table");
    return table.IsNull() || table.IsContainer();
}

}  // namespace

ContentArchive::ContentArchive() : root_(EmptyArchiveRoot()) {}

bool ContentArchive::Load(Orvo::String& result, std::string_view base, std::string_view path,
                          Platform::FileIdentity* read)
{
    result = Orvo::String();
    root_ = EmptyArchiveRoot();
    names_.clear();
    tableCurrent_ = true;
    TDBTagRef loaded;
    switch (LoadConfigFileEx(loaded, base, path, "cdp", read))
    {
    case ConfigFileResult::kOK: break;
    case ConfigFileResult::kNotValid: result = kCDPNotValidText; return false;
    case ConfigFileResult::kDamaged: result = kCDPDamagedText; return false;
    case ConfigFileResult::kNewerVersion: result = kCDPNewerVersionText; return false;
    default: result = kCDPUnreadableText; return false;
    }
    if (!loaded.IsContainer() || !HasArchiveShape(loaded))
    {
        result = kCDPNotValidText;
        return false;
    }
    root_ = loaded;
    IndexAssets();
    tableCurrent_ = false;
    if (!root_.HasChild("contents-table")) RebuildContentsTable();
    return true;
}

bool ContentArchive::Save(Orvo::String& result, const Orvo::File::Path& path) const
{
    result = Orvo::String();
    if (!path.IsExt("cdp"))
    {
        result = kCDPNeedsExtensionText;
        return false;
    }
    // As any file the user names is written (Platform::OutputFile): a file of the user's own replaced whole, one
    // with other names or of another owner written in place keeping them, a folder or the batch file refused.
    std::string bytes, target, why;
    if (!SerializeConfigData(root_, ConfigFileForm::kBinary, bytes))
        why = "the archive cannot be put in its file form";
    else if (!Orvo::File::ResolveForWriting(path.View(), target))
        why = Orvo::File::LastError().message;
    else if (Platform::WriteOutputFile(target, bytes, 0666, &why))
        return true;
    result = Orvo::String::Format("Unable to write archive file: %s (%s)", path.c_str(), why.c_str());
    return false;
}

bool ContentArchive::AddAsset(Orvo::String& result, const TDBTagRef& entry)
{
    result = Orvo::String();
    KUID kuid = entry.GetChildKUID("kuid");
    if (!entry.IsContainer() || kuid.IsNull())
    {
        result = "Archive entry has no asset KUID";
        return false;
    }
    Orvo::PString key = KUID::ToText(kuid);
    TDBTagRef assets = root_.GetChild("assets");
    std::string lower(key.View());
    Orvo::LowerInPlace(lower);
    if (names_.count(lower))
    {
        result = Orvo::String::Format("Asset %s is already in the archive", key.c_str());
        return false;
    }
    assets.AddChildTag(key, entry.Clone());
    names_.insert(std::move(lower));
    if (!tableCurrent_)
    {
        RebuildContentsTable();
        return true;
    }
    // The table as a rebuild would leave it: one more row, and the table last among the archive's tags.
    TDBTagRef table = root_.GetChild("contents-table");
    table.AddChildTag(key, StringTag(GetAssetDisplayName(entry).View()));
    if (root_.GetChildName(root_.GetChildCount() - 1) != Orvo::PString("contents-table"))
        root_.SetChildTag("contents-table", table);
    return true;
}

size_t ContentArchive::GetAssetCount() const
{
    TDBTagRef assets = root_.GetChild("assets");
    return assets.IsContainer() ? assets.GetChildCount() : 0;
}

TDBTagRef ContentArchive::GetAssetAt(size_t index) const
{
    TDBTagRef assets = root_.GetChild("assets");
    if (!assets.IsContainer() || index >= assets.GetChildCount()) return TDBTagRef();
    return assets.GetChildAt(index);
}

void ContentArchive::SetThumbnail(const void* data, size_t size) { root_.SetChildBinary("thumbnail", data, size); }

void ContentArchive::IndexAssets()
{
    names_.clear();
    TDBTagRef assets = root_.GetChild("assets");
    for (size_t i = 0; i < assets.GetChildCount(); ++i)
    {
        std::string lower(assets.GetChildName(i).View());
        Orvo::LowerInPlace(lower);
        names_.insert(std::move(lower));
    }
}

void ContentArchive::RebuildContentsTable()
{
    // One row per asset name, a name met again (without regard to case) moving its row to the end with the
    // later asset's name, as setting the rows one by one would.
    struct Row
    {
        Orvo::PString name;
        Orvo::String text;
        bool live;
    };
    std::vector<Row> rows;
    std::unordered_map<std::string, size_t> at;
    TDBTagRef assets = root_.GetChild("assets");
    for (size_t i = 0; i < assets.GetChildCount(); ++i)
    {
        std::string lower(assets.GetChildName(i).View());
        Orvo::LowerInPlace(lower);
        auto [it, fresh] = at.try_emplace(std::move(lower), rows.size());
        if (!fresh)
        {
            rows[it->second].live = false;
            it->second = rows.size();
        }
        rows.push_back({assets.GetChildName(i), GetAssetDisplayName(assets.GetChildAt(i)), true});
    }
    TDBTagRef table = TDBTagRef::NewContainer();
    for (const Row& r : rows)
        if (r.live) table.AddChildTag(r.name, StringTag(r.text.View()));
    root_.SetChildTag("contents-table", table);
    tableCurrent_ = true;
}

bool FindArchiveTag(const TDBTagRef& archive, std::string_view name, TDBTagRef& out)
{
    out = archive.GetChild(name);
    if (out.IsNull())
    {
        out = TDBTagRef();
        return false;
    }
    return true;
}
