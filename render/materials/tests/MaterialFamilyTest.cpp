// What every material family shares: a duplicate is the same class, equal to its original, holding the
// same textures, and draws exactly what the original draws; a texture or value of the family's own makes
// two materials unequal.
#include "render/materials/VelmarMultiPFXMaterial.h"
#include "render/materials/tests/MaterialTestSupport.h"

#include <typeinfo>

using namespace Orvo;

namespace {

constexpr const char* kFamilies[] = {"tbumpcoltex", "tbumpglosscol", "tgroundonetex", "tgroundonetexvs",
                                     "tbumpgloss",  "tbumptex",      "tbumpenv",      "tonetexnoalpha",
                                     "tglossrust",  "tmpfx",         "nofogtex"};
constexpr int kSlots[] = {0, 8, 9, 12};

class MaterialFamilyTest : public MaterialTest
{
protected:
    void SetUp() override
    {
        MaterialTest::SetUp();
        Display().SetTextureStageCount(4);
        Display().SetCapability(1, true);
        light_.SetDirection({0, 0, -1});
        lights_.Add(&light_);
    }
    DisplayTexture* Shared(int number)
    {
        DisplayTexture* t = SharedTextureCollection::GetTexture(number, Manager().GetTextureManager());
        t->Release();  // the collection keeps it
        return t;
    }
    // What the material records drawing one triangle.
    std::vector<std::string> Drawn(Material& m)
    {
        GeometryChunk* chunk = Triangle(m);
        Taken();
        m.RenderChunk(&Display(), &viewport_, chunk, &lights_, identity_, -1);
        return Taken();
    }

    DisplayLight light_ = Light(DisplayLight::Parallel, {1, 1, 1, 1});
    LightList lights_;
};

}  // namespace

TEST_F(MaterialFamilyTest, ADuplicateIsItsOriginalAgain)
{
    for (const char* type : kFamilies)
    {
        SCOPED_TRACE(type);
        const std::string name = std::string("a.m.") + type;
        Material* m = MakeAs<Material>(name.c_str());
        ASSERT_NE(m, nullptr);
        DisplayMaterial colours;
        colours.diffuse = {0.5f, 0.25f, 1, 1};
        m->SetDisplayMaterialProperties(colours);
        for (int slot : kSlots) m->SetTexture(slot, Shared(1 + slot % 3), 0.75f);
        if (auto* pfx = dynamic_cast<VelmarMultiPFXMaterial*>(m))
        {
            Matrix4 turn;
            turn.m[0][1] = 1;
            pfx->SetTextureMatrix(turn);
        }

        AutoReference<Material> copy(m->Duplicate());  // a new material holds no reference of its own
        const Material& made = *copy;
        ASSERT_EQ(typeid(made), typeid(*m));
        EXPECT_EQ(copy->GetName(), m->GetName());
        EXPECT_EQ(copy->GetType(), m->GetType());
        for (int slot : kSlots) EXPECT_EQ(copy->GetTexture(slot), m->GetTexture(slot)) << slot;
        EXPECT_TRUE(copy->IsEqual(*m));
        EXPECT_TRUE(m->IsEqual(*copy));
        const std::vector<std::string> drawn = Drawn(*m);
        EXPECT_FALSE(Starting(drawn, "draw").empty());
        EXPECT_EQ(Drawn(*copy), drawn);

        // Another texture in any slot the family has, or another value with its second texture, and the
        // two differ.
        for (int slot : kSlots)
        {
            if (m->GetTexture(slot) == nullptr) continue;
            AutoReference<Material> other(m->Duplicate());
            DisplayTexture* another = m->GetTexture(slot) == Shared(3) ? Shared(2) : Shared(3);
            ASSERT_EQ(other->SetTexture(slot, another, 0.75f), Material::ResultOk) << slot;
            EXPECT_FALSE(other->IsEqual(*m)) << slot;
        }
        if (std::string(type) == "tbumpenv" || std::string(type) == "tbumpgloss" ||
            std::string(type) == "tbumpglosscol")
        {
            AutoReference<Material> other(m->Duplicate());
            other->SetTexture(9, m->GetTexture(9), 0.25f);
            EXPECT_FALSE(other->IsEqual(*m));
        }
        // Materials of two families are never equal.
        if (std::string(type) != "nofogtex")
        {
            EXPECT_FALSE(m->IsEqual(*MakeAs<Material>("b.m.nofogtex")));
        }
    }
}

TEST_F(MaterialFamilyTest, EveryWayOfDrawingReachesTheSameChunks)
{
    for (const char* type : kFamilies)
    {
        SCOPED_TRACE(type);
        const std::string name = std::string("a.m.") + type;
        Material* m = MakeAs<Material>(name.c_str());
        ASSERT_NE(m, nullptr);
        m->SetTexture(9, Shared(1), 1.0f);
        GeometryChunk* a = Triangle(*m);
        GeometryChunk* b = Triangle(*m);
        auto draws = [](const std::vector<std::string>& record) { return Starting(record, "draw").size(); };
        Taken();
        m->RenderChunk(&Display(), &viewport_, a, &lights_, identity_, -1);
        const std::vector<std::string> first = Taken();
        m->RenderChunk(&Display(), &viewport_, b, &lights_, identity_, -1);
        const std::vector<std::string> second = Taken();
        const size_t passes = draws(first);
        ASSERT_GT(passes, 0u);

        // A list (with a null chunk passed over) draws each chunk.
        GeometryChunk* list[] = {a, nullptr, b};
        const LightList* lights[] = {&lights_, &lights_, &lights_};
        const Matrix4 transforms[] = {identity_, identity_, identity_};
        m->RenderNumChunks(&Display(), &viewport_, list, lights, transforms, 3, -1);
        const std::vector<std::string> both = Taken();
        EXPECT_EQ(draws(both), 2 * passes);
        // Primitives: the index list's, except for the families that draw chunk by chunk only.
        const std::string t = type;
        const bool byChunk = t == "tbumpenv" || t == "tbumpgloss" || t == "tbumpglosscol";
        if (byChunk)
        {
            std::vector<std::string> one = first;
            one.insert(one.end(), second.begin(), second.end());
            EXPECT_EQ(both, one);
        }
        const uint16_t indices[] = {0, 1, 2};
        m->RenderPrimitives(&Display(), &viewport_, a, &lights_, identity_, 3, indices, 1, 0, -1);
        EXPECT_EQ(draws(Taken()), byChunk ? 0u : passes);
        // Nothing to draw: no state is set either (but for the gloss-rust material, which sets its state and
        // puts it back).
        const DisplayState before = Display().GetState();
        m->RenderChunk(&Display(), &viewport_, nullptr, &lights_, identity_, -1);
        m->RenderPrimitives(&Display(), &viewport_, nullptr, &lights_, identity_, 3, indices, 1, 0, -1);
        const std::vector<std::string> idle = Taken();
        EXPECT_EQ(idle.empty(), t != "tglossrust");
        EXPECT_EQ(draws(idle), 0u);
        EXPECT_EQ(Display().GetState(), before);
        m->RenderNumChunks(&Display(), &viewport_, list, lights, transforms, 0, -1);
        EXPECT_TRUE(Taken().empty());
    }
}
