#pragma once
// The validation sample corpus (data/samples/validation): well-formed assets of every kind our templates
// define, with real images, compiled textures and wave files, and "mutations.txt", which describes copies
// of them each changed in one way and the one finding (or none) the change must give. For the
// end-to-end tests and the validation benchmark.
//
// A mutation names its "asset" (a corpus folder) and what it changes, in this order: "config" sets tags of
// the configuration ("a/b/c" names a tag in nested containers), "remove" removes configuration tags, "fill"
// appends to a container ("a/b" "N text") N string tags of that text named by their index (the container's
// child count on), "write" writes text files ("\n" in a text is a line break), "image" draws images ("WxH" or "WxH
// uniform"), "patch" overwrites bytes ("offset text" or "offset #hex"), "truncate" cuts files to a
// length, "delete" deletes files, "copy" copies files of the corpus folder ("mutation-files" holds those
// only mutations use). Each "expect" holds one finding, in the order the results give them: "severity"
// ("error", "warning" or "message"), "key" and the key's parameters; a mutation without one gives none.
#include "core/KUID.h"
#include "core/SoupText.h"
#include "core/TDBTagRef.h"
#include "engine/Bitmap.h"
#include "engine/File.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace e2e {

inline std::string CorpusFolder() { return VELMAR_SOURCE_DIR "/data/samples/validation"; }

struct CorpusAsset
{
    std::string folder;
    std::string kuid;  // as the configuration gives it
};

// The corpus's assets, in the order of their folder names.
inline std::vector<CorpusAsset> CorpusAssets()
{
    std::vector<CorpusAsset> out;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusFolder()))
    {
        std::string text;
        if (!entry.is_directory() || !Orvo::File::ReadFile(entry.path().string() + "/config.txt", text)) continue;
        TDBTagRef config;
        if (!ReadSoupText(text, "config.txt", config)) continue;
        out.push_back({entry.path().filename().string(), KUID::ToText(config.GetChildKUID("kuid")).str()});
    }
    std::sort(out.begin(), out.end(), [](const CorpusAsset& a, const CorpusAsset& b) { return a.folder < b.folder; });
    return out;
}

struct Finding
{
    std::string severity;  // "error", "warning" or "message"
    std::string key;
    std::map<std::string, std::string> params;
};

struct Mutation
{
    std::string name;
    std::string asset;
    TDBTagRef changes;
    std::vector<Finding> findings;  // in the order the results give them
    // The errors and warnings among them.
    size_t Problems() const
    {
        return size_t(
            std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.severity != "message"; }));
    }
};

inline std::vector<Mutation> CorpusMutations()
{
    std::vector<Mutation> out;
    std::string text;
    TDBTagRef all;
    if (!Orvo::File::ReadFile(CorpusFolder() + "/mutations.txt", text) || !ReadSoupText(text, "mutations.txt", all))
        return out;
    for (size_t i = 0; i < all.GetChildCount(); ++i)
    {
        Mutation m;
        m.name = all.GetChildName(i).str();
        m.changes = all.GetChildContainerAt(i);
        m.asset = m.changes.GetChildString("asset").str();
        for (size_t e = 0; e < m.changes.GetChildCount(); ++e)
        {
            if (m.changes.GetChildName(e).View() != "expect") continue;
            const TDBTagRef expect = m.changes.GetChildContainerAt(e);
            Finding f;
            for (size_t p = 0; p < expect.GetChildCount(); ++p)
            {
                const std::string name = expect.GetChildName(p).str();
                const std::string value = expect.GetChildAt(p).GetString().str();
                if (name == "severity")
                    f.severity = value;
                else if (name == "key")
                    f.key = value;
                else
                    f.params[name] = value;
            }
            m.findings.push_back(std::move(f));
        }
        out.push_back(std::move(m));
    }
    return out;
}

namespace corpus_detail {

// The tag a path "a/b/c" names: its container (made when `make`) and its own name.
inline bool Locate(TDBTagRef& config, const std::string& path, bool make, TDBTagRef& parent, std::string& name)
{
    parent = config;
    std::string rest = path;
    for (size_t cut; (cut = rest.find('/')) != std::string::npos; rest.erase(0, cut + 1))
    {
        const std::string step = rest.substr(0, cut);
        TDBTagRef next = parent.GetChildContainer(step);
        if (next.IsNull())
        {
            if (!make) return false;
            next = parent.CreateChildContainer(step);
        }
        parent = next;
    }
    name = rest;
    return true;
}

inline bool DrawImage(const std::string& path, const std::string& text)
{
    unsigned w = 0, h = 0;
    if (std::sscanf(text.c_str(), "%ux%u", &w, &h) != 2) return false;
    const bool uniform = text.find("uniform") != std::string::npos;
    Orvo::Bitmap image(w, h, Orvo::Bitmap::FormatXRGB32);
    if (!image.IsValid()) return false;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
        {
            uint8_t* p = image.Row(y) + x * 4;
            p[0] = uniform ? 90 : uint8_t(x * 5);
            p[1] = uniform ? 120 : uint8_t(y * 3);
            p[2] = uniform ? 60 : uint8_t(x ^ y);
        }
    return image.Save(path);
}

inline std::string Unescape(std::string text)
{
    for (size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
    return text;
}

inline bool Patch(const std::string& path, const std::string& text)
{
    std::string bytes;
    const size_t space = text.find(' ');
    if (space == std::string::npos || !Orvo::File::ReadFile(path, bytes)) return false;
    const size_t offset = std::stoul(text.substr(0, space));
    std::string data = text.substr(space + 1);
    if (!data.empty() && data[0] == '#')
    {
        std::string raw;
        for (size_t i = 1; i + 1 < data.size(); i += 2) raw.push_back(char(std::stoi(data.substr(i, 2), nullptr, 16)));
        data = raw;
    }
    if (offset + data.size() > bytes.size()) return false;
    bytes.replace(offset, data.size(), data);
    return Orvo::File::WriteFile(path, bytes);
}

}  // namespace corpus_detail

// Writes the mutated copy of its asset into `folder` (which must not exist), with the KUID given; false
// with the reason when the mutation cannot be made.
inline bool WriteMutation(const Mutation& m, const std::string& folder, const KUID& kuid, std::string& why)
{
    namespace fs = std::filesystem;
    using namespace corpus_detail;
    std::error_code ec;
    fs::create_directories(fs::path(folder).parent_path(), ec);
    fs::copy(CorpusFolder() + "/" + m.asset, folder, fs::copy_options::recursive, ec);
    std::string text;
    TDBTagRef config;
    if (ec || !Orvo::File::ReadFile(folder + "/config.txt", text) || !ReadSoupText(text, "config.txt", config))
    {
        why = "no asset " + m.asset;
        return false;
    }
    config.SetChildKUID("kuid", kuid);
    const TDBTagRef set = m.changes.GetChildContainer("config");
    for (size_t i = 0; i < set.GetChildCount(); ++i)
    {
        TDBTagRef parent;
        std::string name;
        Locate(config, set.GetChildName(i).str(), true, parent, name);
        parent.SetChildTag(name, set.GetChildAt(i).Clone());
    }
    const TDBTagRef remove = m.changes.GetChildContainer("remove");
    for (size_t i = 0; i < remove.GetChildCount(); ++i)
    {
        TDBTagRef parent;
        std::string name;
        if (Locate(config, remove.GetChildName(i).str(), false, parent, name)) parent.RemoveChild(name);
    }
    const TDBTagRef fill = m.changes.GetChildContainer("fill");
    for (size_t i = 0; i < fill.GetChildCount(); ++i)
    {
        TDBTagRef parent;
        std::string name;
        Locate(config, fill.GetChildName(i).str() + "/-", true, parent, name);
        const std::string text = fill.GetChildAt(i).GetString().str();
        const size_t space = text.find(' ');
        if (space == std::string::npos)
        {
            why = "fill " + fill.GetChildName(i).str() + " needs a count and a text";
            return false;
        }
        for (long n = std::stol(text.substr(0, space)); n > 0; --n)
            parent.SetChildString(std::to_string(parent.GetChildCount()), text.substr(space + 1));
    }
    std::string out;
    WriteSoupText(config, out);
    bool ok = Orvo::File::WriteFile(folder + "/config.txt", out);
    const auto each = [&](const char* op, auto apply) {
        const TDBTagRef files = m.changes.GetChildContainer(op);
        for (size_t i = 0; i < files.GetChildCount(); ++i)
        {
            const std::string path = folder + "/" + files.GetChildName(i).str();
            if (apply(path, files.GetChildAt(i))) continue;
            why = std::string(op) + " " + files.GetChildName(i).str() + " failed";
            ok = false;
        }
    };
    each("write", [](const std::string& path, const TDBTagRef& v) {
        fs::create_directories(fs::path(path).parent_path());
        return Orvo::File::WriteFile(path, Unescape(v.GetString().str()));
    });
    each("image", [](const std::string& path, const TDBTagRef& v) { return DrawImage(path, v.GetString().str()); });
    each("patch", [](const std::string& path, const TDBTagRef& v) { return Patch(path, v.GetString().str()); });
    each("truncate", [](const std::string& path, const TDBTagRef& v) {
        std::error_code e;
        fs::resize_file(path, uintmax_t(v.GetInt()), e);
        return !e;
    });
    each("delete", [](const std::string& path, const TDBTagRef&) { return fs::remove(path); });
    each("copy", [](const std::string& path, const TDBTagRef& v) {
        std::error_code e;
        fs::create_directories(fs::path(path).parent_path(), e);
        return fs::copy_file(CorpusFolder() + "/" + v.GetString().str(), path, fs::copy_options::overwrite_existing, e);
    });
    return ok;
}

}  // namespace e2e
