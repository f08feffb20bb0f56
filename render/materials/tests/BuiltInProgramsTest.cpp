// The built-in program texts: their form, the combiners' registers, and that every program a plug-in looks
// up is declared by the set it is looked up in.
#include "render/materials/BuiltInPrograms.h"
#include "engine/TextureCombiner.h"
#include "engine/VertexProgram.h"
#include "render/materials/tests/MaterialTestSupport.h"

#include <map>

using namespace Orvo;

namespace {

TEST(BuiltInProgramsTest, TextsAreRegisteredUnchangedWithTheirHeadLines)
{
    Display display(Display::Kind::Null);
    VertexProgramManager& programs = *display.GetVertexProgramManager();
    TextureCombinerManager& combiners = *display.GetTextureCombinerManager();
    for (size_t i = 0; i < kBuiltInVertexProgramSetCount; ++i)
    {
        const BuiltInProgramText& t = kBuiltInVertexProgramSets[i];
        EXPECT_EQ(std::string(t.text).rfind(std::string("\n# ") + t.name + "\nversion 2.0\n", 0), 0u) << t.name;
        ASSERT_TRUE(RegisterBuiltInVertexProgramSet(programs, t.name));
        std::string registered;
        ASSERT_TRUE(programs.GetBuiltInProgramText(PString(t.name), registered));
        EXPECT_EQ(registered, t.text);
    }
    for (size_t i = 0; i < kBuiltInCombinerProgramCount; ++i)
    {
        const BuiltInProgramText& t = kBuiltInCombinerPrograms[i];
        EXPECT_EQ(std::string(t.text).rfind(std::string("\n# ") + t.name + "_Pxl\nversion 1.1\n", 0), 0u) << t.name;
        ASSERT_TRUE(RegisterBuiltInCombinerProgram(combiners, t.name));
        std::string registered;
        ASSERT_TRUE(combiners.GetBuiltInProgramText(PString(t.name), registered));
        EXPECT_EQ(registered, t.text);
    }
    EXPECT_FALSE(RegisterBuiltInVertexProgramSet(programs, "NoSuchSet"));
}

TEST(BuiltInProgramsTest, CombinersDeclareTheirRegistersWithDefaults)
{
    const std::map<std::string, std::string> expected = {
        {"VelmarBumpMat_ParallelLight", "LightDiff LightAmb Specular"},
        {"VelmarBumpColMat_ParallelLight", "LightDiff LightAmb Specular"},
        {"VelmarBumpEnvMat_SpotLight", "LightDiff LightAmb Specular"},
        {"VelmarBumpEnvMat_ParallelLight", "LightDiff LightAmb Specular"},
        {"VelmarBumpGlossMat_SpotLight", "LightDiff LightAmb Lerp Specular"},
        {"VelmarBumpGlossMat_ParallelLight", "LightDiff LightAmb Lerp Specular"},
        {"VelmarBumpGlossColMat_SpotLight", "LightDiff LightAmb Lerp Specular"},
        {"VelmarBumpGlossColMat_ParallelLight", "LightDiff LightAmb Specular Lerp"},
        {"VelmarBumpRustMat_ParallelLight", "LightDiff LightAmb RustColor Specular"},
    };
    const std::map<std::string, Color> defaults = {{"LightDiff", {0, 0, 0, 1}},
                                                   {"LightAmb", {0, 0, 0, 1}},
                                                   {"Specular", {0.9f, 0.9f, 0.9f, 0.75f}},
                                                   {"Lerp", {0, 0, 1, 1}},
                                                   {"RustColor", {0, 0, 1, 1}}};
    ASSERT_EQ(kBuiltInCombinerProgramCount, expected.size());
    for (size_t i = 0; i < kBuiltInCombinerProgramCount; ++i)
    {
        PString name;
        std::vector<CombinerRegister> registers;
        ASSERT_TRUE(TextureCombinerManager::ReadHeader(kBuiltInCombinerPrograms[i].text, name, registers));
        std::string names;
        for (size_t r = 0; r < registers.size(); ++r)
        {
            EXPECT_EQ(registers[r].number, r);
            EXPECT_EQ(registers[r].value, defaults.at(registers[r].name.str())) << name.str();
            names += (r ? " " : "") + registers[r].name.str();
        }
        EXPECT_EQ(names, expected.at(name.str()));
    }
}

TEST_F(MaterialTest, EveryProgramAPluginLooksUpIsDeclaredInItsSet)
{
    size_t lookups = 0;
    for (const auto& type : PluginBase::ListPluginTypes(MaterialPlugin::FamilyId()))
    {
        auto* bump = dynamic_cast<VelmarBumpFamilyPlugin*>(type.Get());
        if (bump == nullptr) continue;
        ProgramHandles handles;
        EXPECT_TRUE(handles.Prepare(&Display(), bump->GetProgramRequest())) << bump->GetName().str();
        EXPECT_EQ(handles.Count(), bump->GetProgramRequest().lookups.size());
        lookups += handles.Count();
    }
    EXPECT_EQ(lookups, 4u + 8 + 8 + 4 + 4);
    ProgramHandles vs;
    EXPECT_TRUE(vs.Prepare(&Display(), {{"VelmarColOneTexMaterial_Vtx"},
                                        {},
                                        {{"VelmarColOneTexMaterial_Vtx", "VelmarColOneTex_ParallelLight"},
                                         {"VelmarColOneTexMaterial_Vtx", "VelmarColOneTex_SpotLight"}}}));
}

TEST_F(MaterialTest, AProgramNotDeclaredInItsSetFailsClearlyAndNothingIsKept)
{
    // The set of the colour bump materials does not declare the plain bump programs.
    VertexProgram* found = nullptr;
    VertexProgramManager* programs = Display().GetVertexProgramManager();
    ASSERT_TRUE(RegisterBuiltInVertexProgramSet(*programs, "VelmarBumpColMaterial_Vtx"));
    EXPECT_EQ(programs->FindProgram(PString("VelmarBumpColMaterial_Vtx"), PString("VelmarBump_ParallelLight"), found),
              VertexProgramManager::ProgramNotDeclared);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(programs->GetLastError(),
              "program 'VelmarBump_ParallelLight' is not declared in vertex program set 'VelmarBumpColMaterial_Vtx'");
    EXPECT_EQ(programs->FindProgram(PString("NoSuchSet"), PString("x"), found), VertexProgramManager::SetNotRegistered);

    ProgramHandles handles;
    EXPECT_FALSE(handles.Prepare(&Display(), {{"VelmarBumpColMaterial_Vtx"},
                                              {},
                                              {{"VelmarBumpColMaterial_Vtx", "VelmarBumpCol_ParallelLight"},
                                               {"VelmarBumpColMaterial_Vtx", "VelmarBump_ParallelLight"}}}));
    EXPECT_EQ(handles.Count(), 0u);
}

}  // namespace
