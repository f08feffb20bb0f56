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
        ASSERT_EQ(typeid(*copy), typeid(*m));
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
        if (m->GetTexture(9) != nullptr && std::string(type).rfind("tbump", 0) == 0)
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
