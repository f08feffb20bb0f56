// The validation library's start-up and shutdown: the data folder, the template tree, the personal
// details, the scene handed over by the tool and the placeholder materials.
#include "core/ConfigFile.h"
#include "engine/EngineObjects.h"
#include "engine/File.h"
#include "engine/MaterialManager.h"
#include "engine/OS.h"
#include "engine/RenderKernel.h"
#include "engine/RenderingCache.h"
#include "engine/ResourceDatabase.h"
#include "engine/ResourceSystem.h"
#include "engine/SceneGraph.h"
#include "validation/DataManager.h"
#include "validation/DummyLoadMaterials.h"
#include "validation/ErrorHandler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

class ValidationStartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velmar-tet-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = std::string(pattern) + "/";
    }
    void TearDown() override
    {
        if (manager_) TETLib::ReleaseDummyLoadMaterials(*manager_);
        manager_.reset();
        Orvo::File::DeleteTree(folder_);
    }
    // Makes the manager for `folder` in place of the last one (ended first); false when none was made.
    bool Start(const std::string& folder)
    {
        manager_.reset();
        manager_ = TETLib::DataManager::Create(folder, errors_);
        return manager_ != nullptr;
    }
    void Write(const std::string& name, const std::string& text)
    {
        ASSERT_TRUE(Orvo::File::WriteFile(folder_ + name, text));
    }
    void WriteAllTemplates()
    {
        Write("inheritance.txt", "base\n{\n  source \"inheritance\"\n}\nshared\n{\n  source \"inheritance\"\n}\n");
        Write("kind.txt", "shared\n{\n  source \"kind\"\n}\nboth\n{\n  source \"kind\"\n}\n");
        Write("container.txt", "both\n{\n  source \"container\"\n}\nboth\n{\n  source \"container-again\"\n}\n");
        std::filesystem::create_directories(folder_ + "lists");
    }
    std::string folder_;
    TETLib::ErrorHandler errors_;  // before the manager, which reports into it
    std::unique_ptr<TETLib::DataManager> manager_;
};

TEST_F(ValidationStartupTest, StartsWithoutTemplatesAndRefusesTemplatesThatSayNothing)
{
    // No folder at all, then an empty one: the manager starts, the load finds nothing and names no
    // problem (the checks report what they miss), and the folder is not made by the shutdown.
    const std::string absent = folder_ + "absent/";
    ASSERT_TRUE(Start(absent));
    EXPECT_FALSE(manager_->LoadTemplates());
    EXPECT_TRUE(manager_->GetTemplateProblems().empty());
    EXPECT_EQ(manager_->GetContainerDefinitions().GetChildCount(), 0u);
    manager_.reset();
    EXPECT_FALSE(Orvo::File::Exists(absent));
    ASSERT_TRUE(Start(folder_));
    EXPECT_FALSE(manager_->LoadTemplates());
    EXPECT_TRUE(manager_->GetTemplateProblems().empty());
    // Not tried again in the same run, even when the files come.
    WriteAllTemplates();
    EXPECT_FALSE(manager_->LoadTemplates());
    EXPECT_EQ(manager_->GetContainerDefinitions().GetChildCount(), 0u);
    manager_->UnloadTemplates();
    EXPECT_TRUE(manager_->LoadTemplates());

    // Template files that are there but hold no definition are a fault, and stay one until unloaded.
    for (const char* file : TETLib::DataManager::kTemplateFiles) Write(file, "");
    ASSERT_TRUE(Start(folder_));
    TETLib::DataManager* manager = manager_.get();
    EXPECT_FALSE(manager->LoadTemplates());
    const std::vector<std::string> problems = manager->GetTemplateProblems();
    EXPECT_EQ(problems, std::vector<std::string>{"The validation templates hold no definitions."});
    Write("container.txt", "scenery\n{\n  top-level 1\n}\n");
    EXPECT_FALSE(manager->LoadTemplates());
    EXPECT_EQ(manager->GetTemplateProblems(), problems);
    // One of them there and empty, the others missing: the same.
    std::filesystem::remove(folder_ + "kind.txt");
    std::filesystem::remove(folder_ + "container.txt");
    manager->UnloadTemplates();
    EXPECT_FALSE(manager->LoadTemplates());
    EXPECT_EQ(manager->GetTemplateProblems(), problems);
}

TEST_F(ValidationStartupTest, AMissingFileOrListsFolderLeavesItsPartOut)
{
    // The kinds inherit the shared bases and name a container type and a list; each is in another file.
    Write("inheritance.txt", "base\n{\n  subpossibilities\n  {\n    region\n    {\n      kind \"value\"\n"
                             "      type \"combobox\"\n      source \"regions.txt\"\n    }\n  }\n}\n");
    Write("kind.txt", "scenery\n{\n  top-level 1\n  inherit\n  {\n    base\n  }\n  subpossibilities\n  {\n"
                      "    parts\n    {\n      kind \"container\"\n      container-type0 \"parts\"\n    }\n  }\n}\n");
    Write("container.txt", "parts\n{\n}\n");
    std::filesystem::create_directories(folder_ + "lists");
    Write("lists/regions.txt", "north The north\r\n");
    ASSERT_TRUE(Start(folder_));
    ASSERT_TRUE(manager_->LoadTemplates());
    ASSERT_NE(manager_->GetList(Orvo::PString("regions.txt")), nullptr);

    const auto load = [&] {
        manager_->UnloadTemplates();
        const bool complete = manager_->LoadTemplates();
        return std::pair{complete, manager_->GetTemplateProblems()};
    };
    const std::vector<std::string> none;
    // Each template file missing in turn: the others load, and what they name there is no fault.
    for (const char* file : TETLib::DataManager::kTemplateFiles)
    {
        SCOPED_TRACE(file);
        std::string text;
        ASSERT_TRUE(Orvo::File::ReadFile(folder_ + file, text));
        std::filesystem::remove(folder_ + file);
        EXPECT_EQ(load(), std::pair(false, none));
        EXPECT_TRUE(manager_->GetDefinition(Orvo::PString("parts")).IsNull() == (std::string(file) == "container.txt"));
        EXPECT_TRUE(manager_->GetDefinition(Orvo::PString("scenery")).IsNull() == (std::string(file) == "kind.txt"));
        Write(file, text);
    }
    // What is there and wrong still is a fault with a file missing.
    Write("container.txt", "parts\n{\n  validation\n  {\n    nosuchrule\n    {\n    }\n  }\n}\n");
    std::filesystem::remove(folder_ + "inheritance.txt");
    EXPECT_EQ(load(), std::pair(false, std::vector<std::string>{"The validation template 'parts' names the rule "
                                                                "'nosuchrule', which does not exist."}));
    Write("container.txt", "parts\n{\n}\n");
    Write("inheritance.txt", "base\n{\n  subpossibilities\n  {\n    region\n    {\n      kind \"value\"\n"
                             "      type \"combobox\"\n      source \"regions.txt\"\n    }\n  }\n}\n");

    // Without the lists folder every list is absent, and no template is at fault for naming one.
    std::filesystem::remove_all(folder_ + "lists");
    EXPECT_EQ(load(), std::pair(false, none));
    EXPECT_EQ(manager_->GetList(Orvo::PString("regions.txt")), nullptr);
    EXPECT_FALSE(manager_->GetDefinition(Orvo::PString("scenery")).IsNull());
    // A folder that lacks the list is a fault of the templates or the folder.
    std::filesystem::create_directories(folder_ + "lists");
    EXPECT_EQ(load(), std::pair(false, std::vector<std::string>{"The validation template 'base' (entry 'region') takes "
                                                                "its choices from the list 'regions.txt', which is "
                                                                "not in the validation data's lists folder."}));
}

TEST_F(ValidationStartupTest, LaterDefinitionsReplaceEarlierOnesAcrossAndWithinFiles)
{
    WriteAllTemplates();
    ASSERT_TRUE(Start(folder_.substr(0, folder_.size() - 1)));  // no separator
    TETLib::DataManager* manager = manager_.get();
    ASSERT_TRUE(manager->LoadTemplates());
    TDBTagRef tree = manager->GetContainerDefinitions();
    ASSERT_EQ(tree.GetChildCount(), 3u);
    EXPECT_EQ(tree.GetChildContainer("base").GetChildString("source"), "inheritance");
    EXPECT_EQ(tree.GetChildContainer("shared").GetChildString("source"), "kind");
    EXPECT_EQ(tree.GetChildContainer("both").GetChildString("source"), "container-again");
    manager->UnloadTemplates();
    EXPECT_TRUE(manager->GetContainerDefinitions().IsNull());
}

TEST_F(ValidationStartupTest, PersonalDetailsAreKeptWhetherUsedNotUsedOrUnreadable)
{
    WriteAllTemplates();
    // A start-up that fails before the first use still shuts the manager down, and keeps the details.
    Write("personalDetails.txt", "author \"Ada\"\nemail \"ada@example.org\"\nisinputboxon 1\n");
    ASSERT_TRUE(Start(folder_));
    manager_.reset();
    TDBTagRef saved;
    ASSERT_TRUE(LoadConfigFile(saved, {}, folder_ + "personalDetails.txt"));
    EXPECT_EQ(saved.GetChildString("author"), "Ada");
    EXPECT_EQ(saved.GetChildString("email"), "ada@example.org");

    // Read on first use, written whole at shutdown.
    Write("personalDetails.txt", "author \"Ada\"\nlicense \"CC\"\nisinputboxon 0\n");
    ASSERT_TRUE(Start(folder_));
    const TETLib::PersonalDetails& details = manager_->GetPersonalDetails();
    EXPECT_EQ(details.author, "Ada");
    EXPECT_EQ(details.licence, "CC");
    EXPECT_FALSE(details.inputBoxOn);
    manager_.reset();
    ASSERT_TRUE(LoadConfigFile(saved, {}, folder_ + "personalDetails.txt"));
    ASSERT_EQ(saved.GetChildCount(), 6u);
    const char* keys[] = {"author", "organisation", "email", "website", "license", "isinputboxon"};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(saved.GetChildName(i), keys[i]);
    EXPECT_EQ(saved.GetChildString("author"), "Ada");
    EXPECT_EQ(saved.GetChildInt("isinputboxon", 7), 0);

    // A file that does not load (a stray brace) is kept as it is for the user to mend.
    const std::string broken = "author \"Ada\"\n}\nlicense \"CC\"\n";
    Write("personalDetails.txt", broken);
    ASSERT_TRUE(Start(folder_));
    EXPECT_EQ(manager_->GetPersonalDetails().author, "");
    manager_.reset();
    std::string text;
    ASSERT_TRUE(Orvo::File::ReadFile(folder_ + "personalDetails.txt", text));
    EXPECT_EQ(text, broken);
}

TEST_F(ValidationStartupTest, SceneAndPlaceholderMaterialsFollowTheEngineObjects)
{
    WriteAllTemplates();
    ASSERT_TRUE(Start(folder_));
    ASSERT_EQ(&manager_->Errors(), &errors_);  // it reports into the handler it was given

    // Without a render kernel nothing can be registered.
    TETLib::RegisterDummyLoadMaterials(*manager_);
    EXPECT_FALSE(TETLib::DummyLoadMaterialsRegistered(*manager_));

    Orvo::OS os("VelmarUtil", "-NullRender");
    ASSERT_TRUE(os.Init());
    Orvo::RenderKernel kernel(nullptr, 8.0f);
    ASSERT_TRUE(kernel.Init(&os, nullptr));
    Orvo::ResourceSystem resources;
    EngineObjects engine;
    engine.os = &os;
    engine.renderKernel = &kernel;
    engine.resourceSystem = &resources;
    engine.engineObject = new Orvo::Particle();  // taken over and deleted by the manager
    TETLib::DataManager* manager = manager_.get();
    EXPECT_EQ(manager->MeshDatabase().GetSystem(), nullptr);  // no scene: no meshes load
    ASSERT_TRUE(manager->SetupScene(&engine));
    EXPECT_EQ(manager->MeshDatabase().GetSystem(), &resources);
    ASSERT_NE(manager->GetRootParticle(), nullptr);
    EXPECT_TRUE(kernel.GetSceneGraph().HasScene(manager->GetRootParticle()));
    EXPECT_EQ(manager->GetRenderKernel(), &kernel);

    TETLib::RegisterDummyLoadMaterials(*manager);
    ASSERT_TRUE(TETLib::DummyLoadMaterialsRegistered(*manager));
    EXPECT_EQ(kernel.GetMaterialManager().Count(), TETLib::kDummyLoadMaterialCount);
    for (size_t i = 0; i < TETLib::kDummyLoadMaterialCount; ++i)
    {
        Orvo::Material* material = TETLib::GetDummyLoadMaterial(*manager, i);
        ASSERT_NE(material, nullptr);
        const bool shiny = material->GetType() == "gloss" || material->GetType() == "reflect";
        EXPECT_EQ(material->GetTextureSlot(), shiny ? 9 : -1) << material->GetName().c_str();
    }
    TETLib::RegisterDummyLoadMaterials(*manager);  // once per manager
    TETLib::ReleaseDummyLoadMaterials(*manager);
    EXPECT_FALSE(TETLib::DummyLoadMaterialsRegistered(*manager));
    EXPECT_EQ(TETLib::GetDummyLoadMaterial(*manager, 0), nullptr);
    TETLib::ReleaseDummyLoadMaterials(*manager);  // harmless again

    // The engine can go before the manager: the scene is let go first, and the mesh loader sees no kernel.
    manager->ReleaseScene();
    EXPECT_EQ(kernel.GetSceneGraph().SceneCount(), 0u);
    EXPECT_EQ(manager->GetRenderKernel(), nullptr);
    EXPECT_EQ(manager->MeshDatabase().GetSystem(), nullptr);  // nothing left pointing at the resource system
    manager->ReleaseScene();                                  // harmless again
    manager_.reset();                                         // and the manager's end after it
    EXPECT_EQ(kernel.GetSceneGraph().SceneCount(), 0u);
    EXPECT_TRUE(errors_.GetMessages().empty());
}

// The library started again and again in one process on one kernel (as the validation tests and a
// long-lived host do): each start-up's placeholders replace the last ones in the kernel instead of piling
// up there (memory that grew with every round, and material lookups that slowed with it).
TEST_F(ValidationStartupTest, StartUpsOnOneKernelKeepOneSetOfPlaceholders)
{
    WriteAllTemplates();
    Orvo::OS os("VelmarUtil", "-NullRender");
    ASSERT_TRUE(os.Init());
    Orvo::RenderKernel kernel(nullptr, 8.0f);
    ASSERT_TRUE(kernel.Init(&os, nullptr));
    const size_t cachesBefore = kernel.GetRenderingCacheManager().GetCaches().size();
    size_t cachesRegistered = 0;
    for (int round = 0; round < 3; ++round)
    {
        ASSERT_TRUE(Start(folder_));
        EngineObjects engine;
        engine.os = &os;
        engine.renderKernel = &kernel;
        ASSERT_TRUE(manager_->SetupScene(&engine));
        TETLib::RegisterDummyLoadMaterials(*manager_);
        ASSERT_TRUE(TETLib::DummyLoadMaterialsRegistered(*manager_));
        EXPECT_EQ(kernel.GetMaterialManager().Count(), TETLib::kDummyLoadMaterialCount) << "round " << round;
        if (round == 0) cachesRegistered = kernel.GetRenderingCacheManager().GetCaches().size();
        EXPECT_GT(cachesRegistered, cachesBefore);
        EXPECT_EQ(kernel.GetRenderingCacheManager().GetCaches().size(), cachesRegistered) << "round " << round;
        // A mesh asking for a placeholder's name gets this start-up's placeholder.
        for (size_t i = 0; i < TETLib::kDummyLoadMaterialCount; ++i)
            EXPECT_EQ(kernel.GetMaterialManager().FindRegistered(Orvo::PString(TETLib::kDummyLoadMaterialNames[i])),
                      TETLib::GetDummyLoadMaterial(*manager_, i));
    }
    manager_.reset();
    EXPECT_EQ(kernel.GetMaterialManager().Count(), 0u);
    EXPECT_EQ(kernel.GetRenderingCacheManager().GetCaches().size(), cachesBefore);
}

}  // namespace
