// What the materials do on the recording display: the passes, their constants and state, and that each
// material puts back what it changed.
#include "engine/ReflectiveMaterial.h"
#include "render/materials/MaterialChunks.h"
#include "render/materials/VelmarBumpColorMaterial.h"
#include "render/materials/VelmarBumpMaterial.h"
#include "render/materials/VelmarColorOneTextureVSMaterial.h"
#include "render/materials/VelmarGroundBaseMaterial.h"
#include "render/materials/VelmarMultiPFXMaterial.h"
#include "render/materials/VelmarNoFogMaterial.h"
#include "render/materials/tests/MaterialTestSupport.h"

using namespace Orvo;

namespace {

class MaterialRenderTest : public MaterialTest
{
protected:
    void SetUp() override
    {
        MaterialTest::SetUp();
        parallel_.SetDirection({0, 0, -1});
        parallel_.ambient = {0.5f, 0.5f, 0.5f, 1};
        parallel_.specular = {0.5f, 0.5f, 0.5f, 1};
        spot_.SetPosition({0, 0, 10});
        spot_.coneAngle = 60.0f;
        spot_.radius = 10.0f;
        lights_.Add(&parallel_);
        lights_.Add(&spot_);
    }
    // The colours the record's numbers come from.
    static void Paint(Material& m)
    {
        DisplayMaterial d;
        d.ambient = {0.25f, 0.25f, 0.25f, 1};
        d.diffuse = {0.5f, 0.5f, 0.5f, 0.75f};
        d.specular = {1, 1, 1, 1};
        m.SetDisplayMaterialProperties(d);
    }

    DisplayLight parallel_ = Light(DisplayLight::Parallel, {1, 1, 1, 1});
    DisplayLight spot_ = Light(DisplayLight::Spot, {1, 0, 0, 1});
    LightList lights_;
};

const char* const kIdentity = "[1 0 0 0, 0 1 0 0, 0 0 1 0, 0 0 0 1]";

TEST_F(MaterialRenderTest, BumpMaterialDrawsBothPassesAndPutsBackWhatItChanged)
{
    auto* bump = MakeAs<VelmarBumpMaterial>("hull.m.tbumptex");
    ASSERT_NE(bump, nullptr);
    Paint(*bump);
    GeometryChunk* chunk = Triangle(*bump);
    Taken();
    const DisplayState before = Display().GetState();
    bump->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    const std::string transform = std::string("transform ") + kIdentity;
    const std::vector<std::string> expected = {
        "bind texture 1 shared texture 0",
        "cull on",
        "disable stage 0",
        "blend function 4 5",  // blended: the diffuse alpha is 0.75
        "alpha blend on",
        transform,
        "VelmarBump_ParallelLight c7 = (0 0 -1)",
        "VelmarBump_ParallelLight c13 = (0 0 0)",
        "VelmarBumpMat_ParallelLight r0 = (0.5 0.5 0.5 0.75)",
        "VelmarBumpMat_ParallelLight r2 = (0.5 0.5 0.5 0.75)",
        "VelmarBumpMat_ParallelLight r1 = (0.125 0.125 0.125 1)",
        "enable VelmarBumpMat_ParallelLight",
        "draw 1 with VelmarBump_ParallelLight",
        "disable VelmarBumpMat_ParallelLight",
        "alpha blend on",
        "blend function 4 1",
        "fog mode 0",
        transform,
        "VelmarBump_SpotLight c7 = (0 0 -1)",
        "VelmarBump_SpotLight c13 = (0 0 0)",
        "VelmarBump_SpotLight c5 = (0 0 10)",
        "VelmarBump_SpotLight c6 = (0.5 0.1 0)",
        "VelmarBumpMat_ParallelLight r0 = (0.5 0 0 0.75)",
        "VelmarBumpMat_ParallelLight r1 = (0 0 0 1)",
        "VelmarBumpMat_ParallelLight r2 = (1 1 1 0.75)",
        "enable VelmarBumpMat_ParallelLight",
        "draw 1 with VelmarBump_SpotLight",
        "disable VelmarBumpMat_ParallelLight",
        "alpha blend on",
        "blend function 4 5",
        "fog mode 0",
        "reset stage 1",
        "reset stage 2",
        "cull on",
        "alpha blend off",
        "blend function 1 0",
    };
    EXPECT_EQ(Taken(), expected);
    EXPECT_EQ(Display().GetState(), before);
    // Without a viewport nothing at all happens.
    bump->RenderChunk(&Display(), nullptr, chunk, &lights_, identity_, -1);
    EXPECT_TRUE(Taken().empty());
}

TEST_F(MaterialRenderTest, LightChoiceAmbientSumAndClamping)
{
    auto* bump = MakeAs<VelmarBumpMaterial>("hull.m.tbumptex");
    ASSERT_NE(bump, nullptr);
    Paint(*bump);
    DisplayMaterial d = bump->GetDisplayMaterial();
    d.ambient = {1, 1, 1, 1};
    d.emissive = {0.5f, 0, 0, 1};
    bump->SetDisplayMaterialProperties(d);
    // Two spot lights of equal sum: the first lights the second pass. A spot light adds no ambient; an
    // ambient light adds to the sum, which then passes 1 and is clamped.
    DisplayLight first = Light(DisplayLight::Spot, {0.5f, 0.5f, 0, 1}),
                 second = Light(DisplayLight::Spot, {0, 0, 1, 1});
    first.SetPosition({1, 2, 3});
    first.ambient = second.ambient = {9, 9, 9, 1};
    DisplayLight ambient = Light(DisplayLight::Ambient, {0, 0, 0, 1});
    ambient.ambient = {0.75f, 0.5f, 0.25f, 1};
    LightList lights;
    for (const DisplayLight* l : {&first, &second, &parallel_, &ambient}) lights.Add(l);
    bump->RenderChunk(&Display(), &viewport_, Triangle(*bump), &lights, identity_, -1);
    const std::vector<std::string> record = Taken();
    EXPECT_EQ(Starting(record, "VelmarBump_SpotLight c5"),
              std::vector<std::string>{"VelmarBump_SpotLight c5 = (1 2 3)"});
    // Ambient sum (1.25, 1, 0.75) x material ambient 1, plus emissive red 0.5: (1.75, 1, 0.75) clamped.
    EXPECT_EQ(Starting(record, "VelmarBumpMat_ParallelLight r1")[0], "VelmarBumpMat_ParallelLight r1 = (1 1 0.75 1)");
}

TEST_F(MaterialRenderTest, WithoutLightsTheFirstPassShowsAmbientOnlyAndNoSecondPass)
{
    auto* bump = MakeAs<VelmarBumpMaterial>("hull.m.tbumptex");
    auto* vs = MakeAs<VelmarColorOneTextureVSMaterial>("hull.m.tgroundonetexvs");
    ASSERT_TRUE(bump && vs);
    bump->RenderChunk(&Display(), &viewport_, Triangle(*bump), nullptr, identity_, -1);
    const std::vector<std::string> record = Taken();
    EXPECT_EQ(Starting(record, "VelmarBumpMat_ParallelLight r0")[0], "VelmarBumpMat_ParallelLight r0 = (0 0 0 1)");
    EXPECT_EQ(Starting(record, "VelmarBumpMat_ParallelLight r2")[0], "VelmarBumpMat_ParallelLight r2 = (0 0 0 1)");
    EXPECT_EQ(Starting(record, "draw").size(), 1u);
    // The vertex-lit material gives white instead.
    vs->RenderChunk(&Display(), &viewport_, Triangle(*vs), nullptr, identity_, -1);
    EXPECT_EQ(Starting(Taken(), "VelmarColOneTex_ParallelLight c4"),
              std::vector<std::string>{"VelmarColOneTex_ParallelLight c4 = (1 1 1 1)"});
}

TEST_F(MaterialRenderTest, ThreeChunksDrawAllFirstPassesBeforeAnySecondPass)
{
    for (const char* name : {"a.m.tbumptex", "a.m.tbumpcoltex", "a.m.tgroundonetexvs"})
    {
        auto* m = MakeAs<Material>(name);
        ASSERT_NE(m, nullptr);
        GeometryChunk* chunks[3];
        for (int i = 0; i < 3; ++i) chunks[i] = Triangle(*m);
        const LightList* lights[3] = {&lights_, &lights_, &lights_};
        Matrix4 transforms[3];
        for (int i = 0; i < 3; ++i) transforms[i].m[3][0] = float(i + 1);
        Taken();
        m->RenderNumChunks(&Display(), &viewport_, chunks, lights, transforms, 3, -1);
        // Which chunk a draw is for: the last transform handed over (its x translation), or the spot
        // light's position carried into the chunk's space (x negated).
        std::vector<std::string> order;
        const std::vector<std::string> record = Taken();
        std::string chunk;
        for (const std::string& line : record)
        {
            if (line.rfind("transform", 0) == 0) chunk = line.substr(line.rfind(", ") + 2, 1);
            if (line.find("SpotLight c5 = (-") != std::string::npos) chunk = line.substr(line.find("(-") + 2, 1);
            if (line.rfind("draw", 0) == 0)
                order.push_back(chunk + (line.find("SpotLight") != std::string::npos ? "s" : "p"));
        }
        EXPECT_EQ(order, (std::vector<std::string>{"1p", "2p", "3p", "1s", "2s", "3s"})) << name;
        EXPECT_EQ(Starting(record, "cull on").size(), 2u) << name;  // one set-up and one clear-up
    }
}

TEST_F(MaterialRenderTest, GlossAtRustAgeHalfDrawsNothingYetSetsAndClearsItsStateAndPutsAmbientBack)
{
    auto* gloss = MakeAs<VelmarBumpGlossMaterial>("a.m.tbumpgloss");
    ASSERT_NE(gloss, nullptr);
    Paint(*gloss);
    ASSERT_EQ(gloss->SetTexture(9, gloss->GetTexture(9), 0.8f), 0);
    GeometryChunk* chunk = Triangle(*gloss);
    ASSERT_TRUE(chunk->HasChunkProperty(RustAgeName()));
    chunk->SetChunkProperty(RustAgeName(), 0.5f);
    Taken();
    const DisplayState before = Display().GetState();
    gloss->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    const std::vector<std::string> record = Taken();
    EXPECT_TRUE(Starting(record, "draw").empty());
    EXPECT_EQ(record.front(), "bind texture 3 shared texture 0");
    EXPECT_EQ(Starting(record, "reset stage"),
              (std::vector<std::string>{"reset stage 3", "reset stage 1", "reset stage 2"}));
    EXPECT_EQ(gloss->GetDisplayMaterial().ambient, Color(0.25f, 0.25f, 0.25f, 1));
    EXPECT_EQ(Display().GetState(), before);

    // New paint: both passes, the gloss grey in register 2, the specular product in register 3.
    chunk->SetChunkProperty(RustAgeName(), 0.0f);
    gloss->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    const std::vector<std::string> shiny = Taken();
    EXPECT_EQ(Starting(shiny, "draw").size(), 2u);
    EXPECT_EQ(Starting(shiny, "VelmarBumpGlossMat_ParallelLight r2")[0],
              "VelmarBumpGlossMat_ParallelLight r2 = (0.8 0.8 0.8 0.8)");
    EXPECT_EQ(Starting(shiny, "VelmarBumpGlossMat_ParallelLight r3")[0],
              "VelmarBumpGlossMat_ParallelLight r3 = (0.5 0.5 0.5 0.75)");
    EXPECT_NE(std::find(shiny.begin(), shiny.end(), "blend function 1 1"), shiny.end());
}

TEST_F(MaterialRenderTest, GroundBaseAlphaTestIsOnWhileDrawingAndPutBack)
{
    auto* ground = MakeAs<VelmarColorOneTextureMaterial>("a.m.tgroundonetex");
    ASSERT_NE(ground, nullptr);
    ground->SetAlphaTest(true);
    Taken();
    ground->RenderChunk(&Display(), &viewport_, Triangle(*ground), &lights_, identity_, -1);
    std::vector<std::string> tests;
    for (const std::string& line : Taken())
        if (line.rfind("alpha test", 0) == 0 || line.rfind("draw", 0) == 0 || line.rfind("colour material", 0) == 0)
            tests.push_back(line);
    EXPECT_EQ(tests, (std::vector<std::string>{"alpha test on", "colour material 5", "draw 1", "alpha test off",
                                               "colour material 0"}));
    EXPECT_FALSE(Display().GetAlphaTestMode());
    // Bind with any pass but 0 changes nothing.
    ground->Bind(&Display(), &viewport_, 1);
    EXPECT_TRUE(Taken().empty());
    // Two ground materials differing only in depth writing are not equal.
    AutoReference<Material> copy(ground->Duplicate());
    EXPECT_TRUE(copy->IsEqual(*ground));
    static_cast<VelmarGroundBaseMaterial*>(copy.Get())->SetDepthWrite(false);
    EXPECT_FALSE(copy->IsEqual(*ground));
}

TEST_F(MaterialRenderTest, NoFogMaterialTurnsFogOffOnlyWhileItDraws)
{
    auto* noFog = MakeAs<VelmarNoFogMaterial>("a.m.nofogtex");
    ASSERT_NE(noFog, nullptr);
    Display().SetFogMode(2);
    noFog->SetFlags(OneTextureMaterial::FlagTwoSided | OneTextureMaterial::FlagKeepBlending);
    Taken();
    noFog->RenderChunk(&Display(), &viewport_, Triangle(*noFog), &lights_, identity_, -1);
    const std::vector<std::string> record = Taken();
    EXPECT_EQ(record.front(), "fog mode 0");
    EXPECT_EQ(record[1], "cull off");
    EXPECT_TRUE(Starting(record, "alpha blend").empty());  // blending left alone
    EXPECT_EQ(Display().GetFogMode(), 2);
    EXPECT_TRUE(Display().GetCullMode());
}

// Every family on a display whose state is not the default one: the state is the same afterwards.
TEST_F(MaterialRenderTest, EveryFamilyPutsBackTheStateItFound)
{
    Display().SetTextureStageCount(4);
    Display().SetCapability(1, true);
    for (const char* type : {"tbumpcoltex", "tbumpglosscol", "tgroundonetex", "tgroundonetexvs", "tbumpgloss",
                             "tbumptex", "tbumpenv", "tonetexnoalpha", "tglossrust", "tmpfx", "nofogtex"})
    {
        const std::string name = std::string("a.m.") + type;
        Material* m = MakeAs<Material>(name.c_str());
        ASSERT_NE(m, nullptr) << type;
        ASSERT_EQ(m->GetType().str(), type);
        DisplayTexture* environment = SharedTextureCollection::GetTexture(1, Manager().GetTextureManager());
        m->SetTexture(9, environment, 1.0f);
        environment->Release();
        Display().SetFogMode(1);
        Display().SetAlphaBlendMode(true);
        Display().SetAlphaBlendFunction(2, 3);
        Display().SetAlphaTestMode(true);
        Display().SetAmbientColor({0.1f, 0.1f, 0.1f, 1});
        const DisplayState before = Display().GetState();
        Taken();
        m->RenderChunk(&Display(), &viewport_, Triangle(*m), &lights_, identity_, -1);
        const std::vector<std::string> record = Taken();
        EXPECT_FALSE(Starting(record, "draw").empty()) << type;
        EXPECT_EQ(Display().GetState(), before) << type;
    }
}

TEST_F(MaterialRenderTest, ATextureSlotThatCannotLoadKeepsTheMapThatWasThere)
{
    auto* bump = MakeAs<VelmarBumpMaterial>("a.m.tbumptex");
    auto* pfx = MakeAs<VelmarMultiPFXMaterial>("a.m.tmpfx");
    ASSERT_TRUE(bump && pfx);
    struct Slot
    {
        Material* material;
        int number;
    };
    for (const Slot& s : {Slot{bump, 8}, Slot{bump, 0}, Slot{pfx, 12}, Slot{pfx, 0}})
    {
        DisplayTexture* map = SharedTextureCollection::GetTexture(2, Manager().GetTextureManager());
        ASSERT_EQ(s.material->SetTexture(s.number, map, 0.5f), 0);
        map->Release();
        EXPECT_EQ(s.material->SetTexture(s.number, nullptr, PString("no/such.texture"), 1.0f, ""),
                  Material::ResultNoTexture);
        EXPECT_EQ(s.material->GetTexture(s.number), map) << s.number;
        EXPECT_EQ(s.material->SetTexture(s.number, nullptr, 1.0f), Material::ResultNoTexture);
        EXPECT_EQ(s.material->GetTexture(s.number), map) << s.number;
    }
    // A multi-PFX material without a second texture waits for none (it would never load otherwise).
    auto* bare = MakeAs<VelmarMultiPFXMaterial>("b.m.tmpfx");
    EXPECT_EQ(bare->GetTexture(12), nullptr);
    EXPECT_EQ(bare->IsLoaded(), Material::ResultOk);
}

struct HintCase
{
    const char* type;
    bool optionsValid;
    uint8_t options;
    uint32_t vertexUsage;
    bool dynamic;  // vertex data made dynamic
    int sharing;   // the sharing mode set, or 99 for none
    uint32_t stride;
};

TEST_F(MaterialTest, ChunksFollowTheCreationHint)
{
    const HintCase cases[] = {
        {"tbumptex", true, 2, 2, true, 0, 44},      // sharing asked: dynamic (0, -2) then shared (0, 0)
        {"tbumptex", true, 0, 2, false, 99, 44},    // no sharing, static: neither
        {"tbumptex", false, 2, 1, true, 99, 44},    // options not valid: dynamic usage only
        {"tbumpenv", true, 0, 2, false, -3, 44},    // per-instance sharing of the environment material
        {"tbumpcoltex", true, 2, 0, false, 0, 48},  // usage 0: no dynamic step, still shared
        {"tonetexnoalpha", true, 1, 2, false, 0, 24}, {"tonetexnoalpha", false, 1, 2, false, 99, 32},
        {"tgroundonetex", true, 2, 2, true, 0, 48},  // usage 2 is dynamic only with bit 1
        {"tgroundonetex", true, 0, 2, false, 99, 48}, {"tmpfx", false, 0, 2, false, 99, 24},
    };
    for (const HintCase& c : cases)
    {
        const std::string name = std::string("a.m.") + c.type;
        Material* m = MakeAs<Material>(name.c_str());
        ASSERT_NE(m, nullptr);
        StandardChunkHint hint(c.vertexUsage);
        hint.optionsValid = c.optionsValid;
        hint.options = c.options;
        AutoReference<GeometryChunk> chunk(m->CreateGeometryChunk(3, 1, 3, 0, 0, hint));
        ASSERT_TRUE(chunk) << c.type;
        EXPECT_EQ((chunk->GetFlags() & GeometryChunk::FlagDynamicVertices) != 0, c.dynamic) << c.type;
        EXPECT_EQ(chunk->HasVertexDataSharing() ? chunk->GetVertexDataSharing() : 99, c.sharing) << c.type;
        EXPECT_EQ(chunk->GetVertexSize(), c.stride) << c.type;
        if (c.optionsValid && (c.options & 2) && m->GetType() == PString("tbumptex"))
        {
            EXPECT_EQ(hint.options, 6) << "bit 0 cleared, bit 2 set";
        }
    }
    EXPECT_EQ(MakeAs<Material>("b.m.tbumptex")->CreateGeometryChunk(3, 1, 3, 0, 9, StandardChunkHint()), nullptr);
}

}  // namespace

namespace {

TEST_F(MaterialRenderTest, GlossRustDrawsOnlyWithAReflectionAndSwitchesOffWhatItTurnedOn)
{
    auto* rust = MakeAs<ReflectiveMaterial>("a.m.tglossrust");
    ASSERT_NE(rust, nullptr);
    Paint(*rust);
    GeometryChunk* chunk = Triangle(*rust);
    Taken();
    // No reflection texture: nothing at all, the colours as they were.
    rust->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    EXPECT_TRUE(Taken().empty());
    EXPECT_EQ(rust->GetDisplayMaterial().ambient, Color(0.25f, 0.25f, 0.25f, 1));

    DisplayTexture* map = SharedTextureCollection::GetTexture(1, Manager().GetTextureManager());
    ASSERT_EQ(rust->SetTexture(9, map, 1.0f), 0);
    map->Release();
    chunk->SetChunkProperty(RustAgeName(), 0.75f);  // the reflection gone, the specular dulled
    rust->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    const std::vector<std::string> dull = Taken();
    EXPECT_EQ(Starting(dull, "apply stage setup"),
              (std::vector<std::string>{"apply stage setup 4 to stage 0", "apply stage setup 5 to stage 1"}));
    EXPECT_TRUE(Starting(dull, "texture coordinates").empty());
    EXPECT_EQ(rust->GetDisplayMaterial().specular, Color(1, 1, 1, 1));

    chunk->SetChunkProperty(RustAgeName(), 0.0f);
    rust->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    EXPECT_EQ(Starting(Taken(), "texture coordinates"),
              (std::vector<std::string>{"texture coordinates 1 generated", "texture coordinates 1 given"}));
}

TEST_F(MaterialRenderTest, MultiPFXPutsBackTheTextureMatrixItGaveStageOne)
{
    auto* pfx = MakeAs<VelmarMultiPFXMaterial>("a.m.tmpfx");
    ASSERT_NE(pfx, nullptr);
    GeometryChunk* chunk = Triangle(*pfx);
    EXPECT_EQ(chunk->GetVertexTypeID(), VelmarMultiPFXMaterial::kVertexTypeId);
    EXPECT_EQ(chunk->GetItemOffset(ItemTexture0 + 1), chunk->GetItemOffset(ItemTexture0));
    Taken();
    pfx->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    const std::vector<std::string> record = Taken();
    EXPECT_EQ(Starting(record, "apply stage setup").size(), 2u);
    EXPECT_EQ(Starting(record, "disable stage 1").size(), 1u);  // no second texture
    EXPECT_EQ(Starting(record, "texture matrix 1").size(), 1u);
    EXPECT_EQ(record.back(), "reset texture matrix 1");
}

}  // namespace

namespace {

TEST_F(MaterialRenderTest, EnvironmentMapComesFromTheProviderOrTheDisplaysFallback)
{
    auto* env = MakeAs<VelmarBumpEnvMaterial>("a.m.tbumpenv");
    ASSERT_NE(env, nullptr);
    GeometryChunk* chunk = Triangle(*env);
    Taken();
    env->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    std::vector<std::string> record = Taken();
    EXPECT_EQ(Starting(record, "fallback texture"), std::vector<std::string>{"fallback texture 3"});
    // The camera's turn (none here) times the axis change.
    EXPECT_EQ(Starting(record, "texture matrix 1"),
              std::vector<std::string>{"texture matrix 1 [1 0 0 0, 0 0 1 0, 0 -1 0 0, 0 0 0 1]"});
    EXPECT_EQ(Starting(record, "reset stage"),
              (std::vector<std::string>{"reset stage 3", "reset stage 1", "reset stage 2"}));

    static TextureManager* textures = nullptr;
    textures = Manager().GetTextureManager();
    env->SetEnvironmentMapProvider(
        [](Material*, ViewPort*) { return SharedTextureCollection::GetTexture(3, textures); });
    env->RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
    env->SetEnvironmentMapProvider(nullptr);
    record = Taken();
    EXPECT_TRUE(Starting(record, "fallback texture").empty());
    EXPECT_EQ(Starting(record, "bind texture 3"), std::vector<std::string>{"bind texture 3 shared texture 3"});
}

}  // namespace
