#pragma once
// The program's own vertex-program sets and texture-combiner programs: constant texts registered with
// the engine's program managers under their names before the material plug-ins look programs up.
#include <cstddef>
#include <string_view>

namespace Orvo {
class TextureCombinerManager;
class VertexProgramManager;
}  // namespace Orvo

struct BuiltInProgramText
{
    const char* name;  // the vertex-program set name, or the combiner name
    const char* text;  // handed to the engine unchanged
};

extern const BuiltInProgramText kBuiltInVertexProgramSets[];
extern const size_t kBuiltInVertexProgramSetCount;
extern const BuiltInProgramText kBuiltInCombinerPrograms[];
extern const size_t kBuiltInCombinerProgramCount;

// The text of a vertex-program set or a combiner program; null for a name the program does not carry.
const char* FindBuiltInVertexProgramSet(std::string_view name);
const char* FindBuiltInCombinerProgram(std::string_view name);
// Registers one text with a display's program manager; false for a name the program does not carry.
bool RegisterBuiltInVertexProgramSet(Orvo::VertexProgramManager& programs, std::string_view name);
bool RegisterBuiltInCombinerProgram(Orvo::TextureCombinerManager& combiners, std::string_view name);
