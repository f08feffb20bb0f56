// The texture checks of a mesh's materials: which materials are asked, which loads are started, and what
// decides the answer.
#include "render/MaterialTextureChecks.h"
#include "engine/AutoReferenceArray.h"
#include "engine/Material.h"
#include "engine/TextureManager.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace Orvo;

namespace {

// A texture whose states a test chooses; a load request makes it loaded, or failed when it is to fail.
class ScriptedTexture : public DisplayTexture
{
public:
    enum State
    {
        Loaded,
        Waiting,
        FailsOnLoad,
        Failed,
        RecordFailed,  // only its pending-load record says so
    };
    ScriptedTexture(const char* name, State state, std::vector<std::string>& log)
        : DisplayTexture(PString(name), nullptr), state_(state), log_(log)
    {}
    bool IsLoaded() const override { return state_ == Loaded; }
    void RequestLoad() override
    {
        log_.push_back("load " + GetName().str());
        state_ = state_ == FailsOnLoad ? Failed : (state_ == Waiting ? Loaded : state_);
    }
    bool HasFailed() const override { return state_ == Failed; }
    int GetPendingState() const override { return state_ == RecordFailed ? DisplayTexture::PendingFailed : NotPending; }

private:
    State state_;
    std::vector<std::string>& log_;
};

// A material that answers a chosen loaded state and holds textures by number.
class ScriptedMaterial : public Material
{
public:
    ScriptedMaterial(const char* name, int loaded, std::vector<std::string>& log)
        : Material(PString(name), PString("t")), loaded_(loaded), log_(log)
    {}
    void Give(int number, ScriptedTexture::State state)
    {
        textures_[number] = new ScriptedTexture((GetName().str() + std::to_string(number)).c_str(), state, log_);
        SetTextureDefinition(number, textures_[number]->GetName(), 0.0f);
    }
    void Define(int number) { SetTextureDefinition(number, PString("missing"), 0.0f); }
    int IsLoaded() const override
    {
        log_.push_back("ask " + GetName().str());
        return loaded_;
    }
    DisplayTexture* GetTexture(int number) const override
    {
        auto it = textures_.find(number);
        return it == textures_.end() ? nullptr : it->second.Get();
    }

private:
    int loaded_;
    std::vector<std::string>& log_;
    std::map<int, AutoReference<DisplayTexture>> textures_;
};

using Materials = AutoReferenceArray<AutoReference<Material>>;

Materials Array(const std::vector<ScriptedMaterial*>& materials)
{
    Materials array;
    array.Create(materials.size());
    for (ScriptedMaterial* m : materials) array.Append(AutoReference<Material>(m));
    return array;
}

TEST(MaterialTextureChecksTest, EmptyArrayIsLoaded)
{
    Materials none;
    EXPECT_TRUE(LoadAllMaterialTextures(none));
    int result = -1;
    IsAllMaterialsLoaded(none, result);
    EXPECT_EQ(result, 0);
}

struct CheckCase
{
    const char* what;
    std::vector<std::pair<int, std::vector<ScriptedTexture::State>>> materials;  // loaded answer, textures
    int expected;
    std::vector<std::string> asked;  // the materials asked, in order
};

TEST(MaterialTextureChecksTest, TheFirstMaterialNotLoadedDecides)
{
    using S = ScriptedTexture;
    const CheckCase cases[] = {
        {"all loaded", {{0, {S::Loaded}}, {0, {}}}, 0, {"ask m0", "ask m1"}},
        {"not loaded though its textures are", {{4, {S::Loaded}}, {0, {}}}, 5, {"ask m0"}},
        {"first loading, second failed", {{4, {S::Waiting}}, {4, {S::Failed}}}, 5, {"ask m0"}},
        {"a texture failed", {{0, {}}, {4, {S::Loaded, S::Failed, S::Waiting}}}, 1, {"ask m0", "ask m1"}},
        {"a pending record failed", {{4, {S::RecordFailed}}}, 1, {"ask m0"}},
        {"no texture definitions at all", {{4, {}}}, 1, {"ask m0"}},
        {"an error answer", {{2, {S::Loaded}}, {0, {}}}, 1, {"ask m0"}},
    };
    for (const CheckCase& c : cases)
    {
        std::vector<std::string> log;
        std::vector<ScriptedMaterial*> made;
        for (size_t i = 0; i < c.materials.size(); ++i)
        {
            auto* m = new ScriptedMaterial(("m" + std::to_string(i)).c_str(), c.materials[i].first, log);
            for (size_t t = 0; t < c.materials[i].second.size(); ++t) m->Give(int(t), c.materials[i].second[t]);
            made.push_back(m);
        }
        int result = -1;
        IsAllMaterialsLoaded(Array(made), result);
        EXPECT_EQ(result, c.expected) << c.what;
        EXPECT_EQ(log, c.asked) << c.what;
    }
}

TEST(MaterialTextureChecksTest, LoadAllRequestsEveryUnloadedTextureUntilOneFails)
{
    using S = ScriptedTexture;
    std::vector<std::string> log;
    auto* loaded = new ScriptedMaterial("a", 0, log);
    loaded->Give(0, S::Waiting);  // a loaded material is not looked into
    auto* two = new ScriptedMaterial("b", 4, log);
    two->Give(0, S::Loaded);
    two->Give(1, S::Waiting);
    two->Define(2);  // a definition without a texture is passed over
    two->Give(3, S::Waiting);
    auto* failing = new ScriptedMaterial("c", 4, log);
    failing->Give(0, S::FailsOnLoad);
    failing->Give(1, S::Waiting);
    auto* after = new ScriptedMaterial("d", 4, log);
    after->Give(0, S::Waiting);
    EXPECT_FALSE(LoadAllMaterialTextures(Array({loaded, two, failing, after})));
    EXPECT_EQ(log, (std::vector<std::string>{"ask a", "ask b", "load b1", "load b3", "ask c", "load c0"}));
}

}  // namespace
