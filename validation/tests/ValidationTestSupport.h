#pragma once
// What the validation tests share: a scratch folder holding a copy of the validation data (our templates,
// or templates written by the test), interface texts that spell out each finding's key and placeholders
// ("$tet_container_nodefinition CONT_NAME=scenery TAG_NAME=foo"), and a call that validates one asset
// folder's configuration and returns its findings as the summary prints them ("- " errors, "! " warnings).
#include "assetdb/ResultsLog.h"
#include "core/ConfigFile.h"
#include "core/InterfaceTextDB.h"
#include "engine/File.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/ValidateAsset.h"
#include "validation/ValidationHooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace validation_test {

namespace fs = std::filesystem;

inline const std::string kSourceData = VELMAR_SOURCE_DIR "/data";

// Each interface text becomes its key followed by its placeholders in name order, so findings read as
// their key and parameters whatever the wording.
inline std::string KeyedInterfaceTexts()
{
    TDBTagRef texts;
    if (!LoadConfigFile(texts, {}, kSourceData + "/InterfaceText.txt")) return {};
    std::string out;
    const std::regex placeholder(R"(\$\(([A-Z0-9_]+)\))");
    for (size_t i = 0; i < texts.GetChildCount(); ++i)
    {
        const std::string key = texts.GetChildName(i).str();
        const std::string text = texts.GetChildAt(i).GetString().str();
        std::set<std::string> names;
        for (std::sregex_iterator it(text.begin(), text.end(), placeholder), end; it != end; ++it)
            names.insert((*it)[1]);
        std::string keyed = key;
        for (const std::string& n : names) keyed += " " + n + "=$(" + n + ")";
        if (text.find('%') != std::string::npos) keyed += " " + text;  // printf forms keep their fields
        out += key + " \"" + std::regex_replace(keyed, std::regex(R"(["\\])"), R"(\$&)") + "\"\n";
    }
    return out;
}

inline bool AlwaysValidUserId(int32_t) { return true; }

class ValidationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "velmar-validation-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ + "/text");
        ASSERT_TRUE(Orvo::File::WriteFile(root_ + "/text/InterfaceText.txt", KeyedInterfaceTexts()));
        InterfaceTextDB::SetLanguage("US");
        InterfaceTextDB::SetFolder(root_ + "/text");
        UsePlugins([](TETLib::ValidationPlugins& plugins) {
            TETLib::AssetDatabaseServices services;
            services.isValidUserId = AlwaysValidUserId;
            plugins.SetAssetDatabaseServices(services);
        });
    }
    void TearDown() override
    {
        manager_.reset();
        pluginFills_.clear();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // The validation data: our own, or the three template files given (with our lists).
    void UseOurTemplates() { UseTemplates({}); }
    void UseTemplates(const std::map<std::string, std::string>& files)
    {
        manager_.reset();
        const std::string folder = root_ + "/TETData";
        if (!fs::exists(folder)) fs::copy(kSourceData + "/TETData", folder, fs::copy_options::recursive);
        // Files given earlier go back to ours unless given again.
        for (const std::string& name : written_)
            if (files.count(name) == 0)
                fs::copy_file(kSourceData + "/TETData/" + name, folder + "/" + name,
                              fs::copy_options::overwrite_existing);
        written_.clear();
        for (const auto& [name, text] : files)
        {
            ASSERT_TRUE(Orvo::File::WriteFile(folder + "/" + name, text));
            written_.insert(name);
        }
        manager_ = TETLib::DataManager::Create(folder, errors_);
        ASSERT_TRUE(manager_);
        for (const auto& fill : pluginFills_) fill(manager_->Plugins());
    }
    // Plugs into the current data manager and into every one UseTemplates makes after it.
    void UsePlugins(std::function<void(TETLib::ValidationPlugins&)> fill)
    {
        if (manager_) fill(manager_->Plugins());
        pluginFills_.push_back(std::move(fill));
    }
    // The data manager of the validation data last given (UseTemplates).
    TETLib::DataManager& Manager() { return *manager_; }

    void WriteFile(const std::string& relative, const std::string& text) const
    {
        fs::create_directories(fs::path(root_ + "/" + relative).parent_path());
        ASSERT_TRUE(Orvo::File::WriteFile(root_ + "/" + relative, text));
    }
    std::string AssetFolder() const { return root_ + "/asset/"; }

    // Writes the configuration into the asset folder and validates it; the findings in posting order.
    std::vector<std::string> Validate(const std::string& config, const std::string& configName = "config.txt")
    {
        WriteFile("asset/" + configName, config);
        return ValidateWritten(configName);
    }
    std::vector<std::string> ValidateWritten(const std::string& configName = "config.txt")
    {
        ResultsLog log;
        TETLib::Container root(*manager_);
        passed_ =
            TETLib::ValidateConfig(root, Orvo::PString("local"), Orvo::File::Path(AssetFolder() + configName), log);
        return Lines(log);
    }
    static std::vector<std::string> Lines(const ResultsLog& log)
    {
        std::vector<std::string> lines;
        for (const ResultsLog::Result& r : log.GetResults())
            lines.push_back((r.kind == kResultError ? "- " : r.kind == kResultWarning ? "! " : "; ") + r.text.str());
        return lines;
    }

    std::string root_;
    TETLib::ErrorHandler errors_;  // before the manager, which reports into it
    std::unique_ptr<TETLib::DataManager> manager_;
    bool passed_ = false;
    std::set<std::string> written_;  // template files the test wrote over ours
    std::vector<std::function<void(TETLib::ValidationPlugins&)>> pluginFills_;  // in the order given
};

// A mesh table naming "box.im", which the tests write beside the configuration.
inline const std::string kMesh = "mesh-table\n{\n  default\n  {\n    mesh \"box.im\"\n    auto-create 1\n  }\n}\n";

// A well-formed configuration head: KUID, kind, build, name and category.
inline std::string Head(const std::string& kind, const std::string& build = "3.7")
{
    return "kuid <kuid:900001:500>\nkind \"" + kind + "\"\nvelmar-build " + build +
           "\nusername \"Sample\"\ncategory-class \"BD\"\n";
}

}  // namespace validation_test
