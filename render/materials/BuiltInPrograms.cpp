#include "render/materials/BuiltInPrograms.h"

#include "engine/PString.h"
#include "engine/TextureCombiner.h"
#include "engine/VertexProgram.h"

namespace {
const char* Find(const BuiltInProgramText* table, size_t count, std::string_view name)
{
    for (size_t i = 0; i < count; ++i)
        if (name == table[i].name) return table[i].text;
    return nullptr;
}
}  // namespace

const char* FindBuiltInVertexProgramSet(std::string_view name)
{
    return Find(kBuiltInVertexProgramSets, kBuiltInVertexProgramSetCount, name);
}

const char* FindBuiltInCombinerProgram(std::string_view name)
{
    return Find(kBuiltInCombinerPrograms, kBuiltInCombinerProgramCount, name);
}

bool RegisterBuiltInVertexProgramSet(Orvo::VertexProgramManager& programs, std::string_view name)
{
    const char* text = FindBuiltInVertexProgramSet(name);
    if (text == nullptr) return false;
    programs.RegisterBuiltInPrograms(Orvo::PString(name), text);
    return true;
}

bool RegisterBuiltInCombinerProgram(Orvo::TextureCombinerManager& combiners, std::string_view name)
{
    const char* text = FindBuiltInCombinerProgram(name);
    if (text == nullptr) return false;
    combiners.RegisterBuiltInPrograms(Orvo::PString(name), text);
    return true;
}
