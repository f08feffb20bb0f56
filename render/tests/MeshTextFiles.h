#pragma once
// Mesh files written from text descriptions through the program's own readers and writers: an indexed
// mesh described in text ("imtxt", engine/GeometryConfigData.h) saved as an indexed mesh file, and a
// text LOD description whose levels are such texts saved as a LOD mesh file. For tests that need real
// mesh files, and for the generator of the sample corpus's meshes.
#include "engine/ConfigParser.h"
#include "engine/File.h"
#include "engine/RenderKernel.h"
#include "render/VelmarIndexedMeshDefinition.h"
#include "render/VelmarIndexedMeshLODDefinition.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace meshtext {

constexpr uint32_t kVertexColour = 0xFFFFFFFFu;

inline bool SaveTo(const std::string& path, const std::function<int(Orvo::File&)>& save, std::string& why)
{
    Orvo::File file;
    if (file.Open(path, Orvo::File::ModeWrite) != 0)
    {
        why = "cannot write " + path;
        return false;
    }
    const int result = save(file);
    file.Close();
    if (result != 0) why = "the writer refused " + path;
    return result == 0;
}

// Writes the indexed mesh that `text` describes to `path`; false with the reason.
inline bool WriteIndexedMesh(Orvo::RenderKernel& kernel, const std::string& text, const std::string& path,
                             std::string& why)
{
    Orvo::ConfigParser parser;
    if (parser.ParseText(text, path) != 0 || parser.GetRoot() == nullptr)
    {
        why = "bad description for " + path + ": " + parser.GetError();
        return false;
    }
    VelmarIndexedMeshDefinition definition{MeshOptions()};
    if (definition.LoadFromGeometryConfig(kernel.GetDisplay(), &kernel.GetMaterialManager(), nullptr, *parser.GetRoot(),
                                          kVertexColour) != 0)
    {
        why = "description refused for " + path;
        return false;
    }
    definition.FinishMaterials(nullptr);
    return SaveTo(
        path, [&](Orvo::File& f) { return definition.SaveIDXM(f); }, why);
}

// Writes a LOD mesh to `path`: one level per text of `levels`, level i switching at distance 20 * i,
// with `settings` (lines of the text LOD description: "offset 0.5", ...). The level texts are written
// into `scratch` (an existing folder) first.
inline bool WriteLODMesh(Orvo::RenderKernel& kernel, const std::vector<std::string>& levels,
                         const std::string& settings, const std::string& scratch, const std::string& path,
                         std::string& why)
{
    std::string description = "version 1.00\n";
    for (size_t i = 0; i < levels.size(); ++i)
    {
        const std::string level = scratch + "/level" + std::to_string(i) + ".imtxt";
        if (!Orvo::File::WriteFile(level, levels[i]))
        {
            why = "cannot write " + level;
            return false;
        }
        description += "mesh " + std::to_string(20 * i) + "\n{\n  name \"" + level + "\"\n}\n";
    }
    description += settings;
    const std::string descriptionPath = scratch + "/levels.lm.txt";
    if (!Orvo::File::WriteFile(descriptionPath, description))
    {
        why = "cannot write " + descriptionPath;
        return false;
    }
    VelmarIndexedMeshLODDefinition definition{MeshOptions()};
    if (definition.ReadLODDescription(kernel.GetDisplay(), &kernel.GetMaterialManager(), nullptr, descriptionPath,
                                      kVertexColour) != 0)
    {
        why = "LOD description refused for " + path;
        return false;
    }
    definition.FinishOwnedLevels(nullptr);
    definition.MergeEqualLevelMaterials();
    return SaveTo(
        path, [&](Orvo::File& f) { return definition.SaveLODM(f); }, why);
}

// The text of a flat grid of `across` x `down` unit squares (two triangles each) in the z = 0 plane,
// drawn with `material` (a decorated name) and, when not empty, the texture `texture`; `attachments`
// are point names, placed one unit apart along x.
inline std::string GridMesh(uint32_t across, uint32_t down, const std::string& material, const std::string& texture,
                            const std::vector<std::string>& attachments = {})
{
    std::string positions, normals, uv, indices, faces;
    auto add = [](std::string& list, const std::string& item) { list += (list.empty() ? "" : ",") + item; };
    for (uint32_t y = 0; y <= down; ++y)
        for (uint32_t x = 0; x <= across; ++x)
        {
            add(positions, std::to_string(x) + "," + std::to_string(y) + ",0");
            add(normals, "0,0,1");
            add(uv, std::to_string(x) + "," + std::to_string(y));
        }
    for (uint32_t y = 0; y < down; ++y)
        for (uint32_t x = 0; x < across; ++x)
        {
            const uint32_t a = y * (across + 1) + x, b = a + 1, c = a + across + 1, d = c + 1;
            for (uint32_t i : {a, b, c, c, b, d}) add(indices, std::to_string(i));
            add(faces, "0,0,1,0,0,1");
        }
    std::string text = "version 1.00\nchunk\n{\n  name \"grid\"\n  material\n  {\n    name \"" + material + "\"\n";
    if (!texture.empty())
        text += "    texture\n    {\n      stage 0\n      file \"" + texture + "\"\n      value 1\n    }\n";
    text += "  }\n  positions " + positions + "\n  normals " + normals + "\n  texture0 " + uv + "\n  indices " +
            indices + "\n  faceNormals " + faces + "\n}\n";
    for (size_t i = 0; i < attachments.size(); ++i)
        text += "attachment\n{\n  name \"" + attachments[i] + "\"\n  position " + std::to_string(i) + ",0,1\n}\n";
    return text;
}

// The text of a skeleton for a mesh text: one bone per (name, parent) pair, the first the root (its parent
// empty), bone i placed i units along x. The bones weigh no vertices: a chunk follows the bone of its name.
inline std::string Bones(const std::vector<std::pair<std::string, std::string>>& bones)
{
    std::string text;
    for (size_t i = 0; i < bones.size(); ++i)
    {
        text += "influence\n{\n  name \"" + bones[i].first + "\"\n";
        if (!bones[i].second.empty()) text += "  parent \"" + bones[i].second + "\"\n";
        text += "  position " + std::to_string(i) + ",0,0\n  orientation 0,0,0,1\n}\n";
    }
    return text;
}

}  // namespace meshtext
