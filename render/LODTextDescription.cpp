// A LOD mesh read from a text description: one indexed mesh per level with its switch distance, meshes
// hung on attachment points, and the distance rules of the whole object.
//
//   version 1.00
//   mesh 0          { name "hull_hi.im" }
//   mesh 150        { name "hull_lo.im" }
//   mesh "a.lamp"   { name "lamp.im"  animated 1 }
//   offset 0.5   multiplier 1.2   renderCutOff 2000   calcPoint "near"
//
// A relative mesh file name is read from the description's own folder and may not climb out of it; a name
// from the root ("/hull.im") or through a substitution ("src:hull.im") is taken as it stands.
#include "engine/ConfigParser.h"
#include "engine/Display.h"
#include "engine/Particle.h"
#include "engine/PathComponents.h"
#include "engine/TextCase.h"
#include "render/VelmarGeometryBaseResource.h"
#include "render/VelmarIndexedMeshLODDefinition.h"

#include <cmath>
#include <cstdlib>

using namespace Orvo;

namespace {

// Every character one of "1234567890." (an empty value counts as a number).
bool IsNumberText(const std::string& text) { return text.find_first_not_of("1234567890.") == std::string::npos; }

float ReadFloat(const ConfigData& root, const char* key, float fallback)
{
    const ConfigData* item = root.Find(key);
    return item ? float(item->GetNumber(fallback)) : fallback;
}

bool ReadBool(const ConfigData* item)
{
    if (item == nullptr) return false;
    std::string v = item->value;
    LowerInPlace(v);
    return v == "1" || v == "true" || v == "yes";
}

std::string ExtensionOf(const std::string& name)
{
    const size_t dot = name.rfind('.');
    const size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    std::string ext = name.substr(dot + 1);
    LowerInPlace(ext);
    return ext;
}

// The folder of a description's file name ("" at the root), what its relative names are joined to.
std::string FolderOf(const std::string& fileName)
{
    const std::string name = Resource::ConvertResourceName(fileName);
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) return name.substr(0, slash + 1);
    const size_t colon = name.find(':');
    return colon != std::string::npos && colon > 0 ? name.substr(0, colon + 1) : std::string();
}

// The name a mesh file written in a description is opened by; false when a relative name climbs out of
// the description's folder.
bool ResolveMeshName(const std::string& folder, const std::string& written, std::string& out)
{
    const std::string name = Resource::ConvertResourceName(written);
    const size_t colon = name.find(':');
    if ((!name.empty() && name[0] == '/') || (colon != std::string::npos && colon > 0 && name.find('/') > colon))
    {
        out = name;
        return true;
    }
    std::vector<std::string> parts;
    if (!SplitPathComponents(name, true, false, parts) || parts.empty()) return false;
    out = folder;
    for (size_t i = 0; i < parts.size(); ++i) out += (i > 0 ? "/" : "") + parts[i];
    return true;
}

}  // namespace

int VelmarIndexedMeshLODDefinition::ReadLODDescription(Display* display, MaterialManager* materials,
                                                       VelmarGeometryBaseResource* resource,
                                                       const std::string& fileName, uint32_t colour)
{
    capability29_ = display && display->SupportsCapability(Display::CapHardwareSkinning);
    ConfigParser parser;
    if (resource) parser.SetResourceKey(resource->GetName().View());
    if (parser.Parse(resource ? resource->GetFilePath(fileName) : fileName) != 0) return RES_FILE_OPEN_ERROR;
    const double version = std::trunc(parser.GetVersion() * 100.0);
    if (!(version == 100.0)) return RES_FILE_VERSION_ERROR;
    const ConfigData& root = *parser.GetRoot();
    std::vector<const ConfigData*> items;
    for (const ConfigData& child : root.children)
        if (EqualsNoCase(child.name, "mesh")) items.push_back(&child);
    if (items.empty()) return RES_FILE_FORMAT_ERROR;
    // Each item loads a whole mesh: a description naming more than any object needs is refused.
    if (items.size() > kMaxDescribedMeshes) return RES_FILE_FORMAT_ERROR;

    const std::string folder = FolderOf(fileName);
    auto load = [&](const std::string& written, bool firstLevel) {
        std::string path;
        if (!ResolveMeshName(folder, written, path)) return int(RES_FILE_OPEN_ERROR);
        return LoadLevelMesh(display, materials, resource, path, colour, firstLevel);
    };

    levels_.clear();
    attachmentMeshes_.clear();
    switchDistances_.clear();
    loadedFiles_.clear();
    size_t k = 0;
    for (; k < items.size() && IsNumberText(items[k]->value); ++k)
    {
        const float distance = float(std::atof(items[k]->value.c_str()));
        const ConfigData* name = items[k]->Find("name");
        if (name == nullptr) return RES_FILE_FORMAT_ERROR;
        if (k > 0 && !(distance > switchDistances_.back())) return RES_FILE_FORMAT_ERROR;
        if (int r = load(name->value, k == 0)) return r;
        loadedFiles_.push_back(name->value);
        switchDistances_.push_back(distance);
    }
    if (k == 0) return RES_FILE_FORMAT_ERROR;
    for (; k < items.size(); ++k)
    {
        std::string point = items[k]->value;
        LowerInPlace(point);
        const PString pointName(point);
        for (const AttachmentMeshRecord& r : attachmentMeshes_)
            if (r.name == pointName) return RES_FILE_FORMAT_ERROR;
        if (IsNumberText(items[k]->value)) return RES_FILE_FORMAT_ERROR;
        const ConfigData* name = items[k]->Find("name");
        if (name == nullptr) return RES_FILE_FORMAT_ERROR;
        AttachmentMeshRecord record;
        record.name = pointName;
        record.animated = ReadBool(items[k]->Find("animated"));
        const auto known = std::find(loadedFiles_.begin(), loadedFiles_.end(), name->value);
        if (known != loadedFiles_.end())
            record.level = uint32_t(known - loadedFiles_.begin());
        else
        {
            if (int r = load(name->value, false)) return r;
            loadedFiles_.push_back(name->value);
            record.level = uint32_t(loadedFiles_.size() - 1);
        }
        attachmentMeshes_.push_back(record);
    }

    name_ = PString(fileName);
    levelCount_ = uint32_t(levels_.size());
    offset_ = ReadFloat(root, "offset", 0.0f);
    multiplier_ = ReadFloat(root, "multiplier", 1.0f);
    animationCutOff_ = ReadFloat(root, "animationCutOff", 0.0f);
    renderCutOff_ = ReadFloat(root, "renderCutOff", 0.0f);
    attachmentCutOff_ = ReadFloat(root, "attachmentCutOff", 0.0f);
    calcPoint_ = 0;
    if (const ConfigData* point = root.Find("calcPoint"))
    {
        std::string v = point->value;
        LowerInPlace(v);
        calcPoint_ = v == "near" ? 1 : (v == "far" ? 2 : 0);
    }
    SelectLastSwitchLevel();
    TakeCullNames();
    return RES_OK;
}

int VelmarIndexedMeshLODDefinition::LoadLevelMesh(Display* display, MaterialManager* materials,
                                                  VelmarGeometryBaseResource* resource, const std::string& meshFileName,
                                                  uint32_t colour, bool firstLevel)
{
    auto level = std::make_unique<VelmarIndexedMeshDefinition>(options_);
    const std::string name = Resource::ConvertResourceName(meshFileName);
    // A level is always an indexed mesh (binary, or "imtxt" text): a description cannot name itself or
    // another LOD mesh and so cannot recurse.
    int r = ExtensionOf(name) == "imtxt" ? level->LoadFromConfigText(display, materials, resource, name, colour)
                                         : level->OpenMeshFile(resource, name);
    if (r == RES_OK && ExtensionOf(name) != "imtxt") r = level->LoadIDXM(display, materials, resource, colour);
    if (r != RES_OK) return r;

    if (firstLevel)
    {
        position_ = level->GetPosition();
        orientation_ = level->GetOrientation();
        boundsHigh_ = level->GetBoundsHigh();
        boundsLow_ = level->GetBoundsLow();
        orientedBox_ = level->GetOrientedBox();
        attachments_ = level->GetAttachments();
        SetSkeleton(level->GetSkeletonRoot() ? static_cast<ParticleBone*>(level->GetSkeletonRoot()->CreateInstance())
                                             : nullptr);
        bones_.clear();
        for (const InfluenceDefinition& d : level->GetInfluences())
            bones_.push_back({d.name, d.parentName, d.position, d.orientation, {}});
    }
    else if (level->GetAttachments().size() != attachments_.size() || level->GetInfluences().size() != bones_.size())
        return RES_FILE_FORMAT_ERROR;

    // Every bone must find its influences in each level.
    for (const LODBone& b : bones_)
    {
        bool found = false;
        for (const InfluenceDefinition& d : level->GetInfluences()) found = found || d.name == b.name;
        if (!found) return RES_FILE_FORMAT_ERROR;
    }

    MeshChunkGroup group;
    group.chunkCount = level->GetChunkCount();
    group.vertexCount = level->GetTotalVertices();
    group.faceCount = level->GetTotalFaces();
    group.chunks = level->GetChunks();
    group.materials = level->GetMaterials();
    group.skinning = level->IsHardwareSkinned();
    for (uint32_t c = 0; c < level->GetChunkCount(); ++c) group.chunkNames.push_back(level->GetChunkName(c));

    if ((level->GetBoundsHigh() - level->GetBoundsLow()).LengthSquared() > (boundsHigh_ - boundsLow_).LengthSquared())
    {
        boundsHigh_ = level->GetBoundsHigh();
        boundsLow_ = level->GetBoundsLow();
    }
    AddLevelInfluences(level->GetInfluences());
    levels_.push_back(std::move(group));
    ownedLevels_.push_back(std::move(level));
    return RES_OK;
}
