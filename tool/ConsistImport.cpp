#include "tool/ConsistImport.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/ConfigFile.h"
#include "core/VelmarProperty.h"
#include "tool/Support.h"
#include "tool/ToolContext.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct Car
{
    KUID kuid;
    int32_t number = 0;
    bool direction = false;
};

struct Consist
{
    std::string name;
    std::vector<Car> cars;
};

std::string Numbered(const char* prefix, size_t n) { return prefix + std::to_string(n); }

VelmarPropertyRef AssetSource(const KUID& kuid)
{
    return VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid));
}

enum class ConsistRead
{
    kOK,
    kSkipped,  // nothing to import (no list of cars): said as a warning, not a failure
    kRefused,  // cannot be imported as written: said as an error
};

// Reads consist `train-<index>`, saying in the log why it is not imported.
ConsistRead ReadConsist(const TDBTagRef& train, size_t index, Consist& out, ResultsLog& log)
{
    if (!train.HasChild("name"))
    {
        log.PostResultF(kResultError, "Consist train-%zu has no name; it is not imported.", index);
        return ConsistRead::kRefused;
    }
    out.name = train.GetChildString("name").str();
    const TDBTagRef list = train.GetChildContainer("list");
    if (list.IsNull())
    {
        log.PostResultF(kResultWarning, "Consist train-%zu ('%s') has no list of cars; it was skipped.", index,
                        out.name.c_str());
        return ConsistRead::kSkipped;
    }
    // The numbering is dense, so there are no more cars than children.
    for (size_t j = 0; j < list.GetChildCount(); ++j)
    {
        const std::string car = Numbered("car-", j);
        if (!list.HasChild(car)) break;
        Car c;
        c.kuid = list.GetChildKUID(car, KUID::Null());
        if (c.kuid.IsNull())
        {
            // A consist with a car that names no asset would depend on nothing that can be installed.
            log.PostResultF(kResultError, "Consist '%s': %s is not a KUID; the consist is not imported.",
                            out.name.c_str(), car.c_str());
            return ConsistRead::kRefused;
        }
        c.number = list.GetChildInt(Numbered("num-", j), 0);
        c.direction = list.GetChildBool(Numbered("dir-", j), false);
        out.cars.push_back(c);
    }
    return ConsistRead::kOK;
}

// The names of the consist assets the database has: local, listed, not obsolete, category "CN". False when
// they could not all be had.
bool ExistingConsistNames(VADClient& client, std::set<std::string>& names)
{
    VADFilterElementGroup filter;
    filter.Add(std::make_unique<VADFilterElementString>(VAD_FIELD_CATEGORY_LIST, "CN"));
    filter.Add(std::make_unique<VADFilterElementBool>(VAD_FIELD_LOCAL));
    filter.Add(std::make_unique<VADFilterElementBool>(VAD_FIELD_LOCALLY_AVAILABLE));
    filter.Add(std::make_unique<VADFilterElementBool>(VAD_FIELD_LISTING_PRIVILEGE));
    auto notObsolete = std::make_unique<VADFilterElementGroup>();
    notObsolete->Add(std::make_unique<VADFilterElementBool>(VAD_FIELD_OBSOLETE));
    notObsolete->SetNegated(true);
    filter.Add(std::move(notObsolete));
    ChunkedList<KUID> kuids;
    if (!client.QueryAssets(filter, kuids)) return false;
    for (const KUID& kuid : kuids)
    {
        // A name missing from the list could import its consist a second time.
        const VADResult<Orvo::String> name = client.GetAssetName(kuid);
        if (!name.Ok()) return false;
        names.insert(name.Value().str());
    }
    return true;
}

void FillConsistConfig(TDBTagRef& config, const Consist& consist)
{
    config.SetChildString("kind", "consist");
    config.SetChildString("username", consist.name);
    config.SetChildFloat("velmar-build", 3.1f);
    TDBTagRef cars = TDBTagRef::NewContainer();
    std::set<KUID> distinct;
    for (size_t j = 0; j < consist.cars.size(); ++j)
    {
        const Car& c = consist.cars[j];
        TDBTagRef car = cars.CreateChildContainer(Numbered("car-", j));
        car.SetChildKUID("car-kuid", c.kuid);
        car.SetChildInt("car-num", c.number);
        car.SetChildBool("car-dir", c.direction);
        distinct.insert(c.kuid);
    }
    config.SetChildTag("consist-list", cars);
    TDBTagRef table = TDBTagRef::NewContainer();
    size_t n = 0;
    for (const KUID& k : distinct) table.SetChildKUID(std::to_string(n++), k);
    config.SetChildTag("kuid-table", table);
}

// Creates, fills, saves and commits the asset; on any failure the new asset is discarded.
bool CreateConsistAsset(VADClient& client, const Consist& consist, ResultsLog& log)
{
    const uint32_t errorsBefore = log.ErrorCount();
    auto fail = [&](VADEditHandle* handle, const char* what) {
        // The failure is said below; a revert that fails too leaves the new asset for its user to revert.
        if (handle && handle->IsValid()) (void)client.RevertAsset(*handle);
        if (log.ErrorCount() == errorsBefore && !client.LinkFailed())
            log.PostResultF(kResultError, "Consist '%s' is not imported: %s", consist.name.c_str(), what);
        return false;
    };
    VADEditHandle handle;
    if (!client.CreateAsset(handle, KUID::Null(), "", 1, &log)) return fail(nullptr, "the asset could not be created.");
    Orvo::PString sourceName;
    Orvo::File::Path folder;
    if (!client.GetEditFolder(handle, sourceName, folder)) return fail(&handle, "the new asset has no folder.");
    Orvo::File::Path configPath(folder);
    configPath.AddPath("config.txt");
    TDBTagRef config;
    if (!LoadConfigFile(config, "", configPath.View(), "txt"))
        return fail(&handle, "the new asset's config.txt cannot be read.");
    FillConsistConfig(config, consist);
    if (!SaveConfigFile(config, "", configPath.View(), "txt"))
        return fail(&handle, "the new asset's config.txt cannot be written.");
    if (!client.CommitAsset(handle, 0, &log)) return fail(&handle, "the new asset could not be committed.");
    handle.Release();
    const KUID kuid = config.GetChildKUID("kuid", KUID::Null());
    log.PostResult(kResultSuccess, AssetSource(kuid), "Consist '" + consist.name + "' was imported.");
    return true;
}

}  // namespace

int ImportConsistsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Missing input path parameter.");
        return -1;
    }
    // A FIFO, a device or a file past the bound is refused before anything is read from it.
    TDBTagRef consists;
    const Orvo::File::Path path = ResolveArgumentPath(tool, args.Arg(2));
    if (!ReadUserConfigFile("", path, "", "consist list", "Invalid input path.", consists, log)) return -1;
    std::set<std::string> existing;
    if (!ExistingConsistNames(client, existing))
    {
        // After a lost link the dispatcher reports the link instead.
        PostCommandError(client, log, "Unable to list the consists the asset database holds.");
        return -1;
    }

    bool all = true;
    // The numbering is dense, so there are no more consists than children.
    for (size_t i = 0; i < consists.GetChildCount(); ++i)
    {
        const std::string key = Numbered("train-", i);
        if (!consists.HasChild(key)) break;
        const TDBTagRef train = consists.GetChildContainer(key);
        Consist consist;
        const ConsistRead read = ReadConsist(train, i, consist, log);
        if (read != ConsistRead::kOK)
        {
            if (read == ConsistRead::kRefused) all = false;
            continue;
        }
        if (existing.count(consist.name)) continue;
        if (!CreateConsistAsset(client, consist, log))
        {
            all = false;
            if (client.LinkFailed()) break;
            continue;
        }
        existing.insert(consist.name);
    }
    return all ? 0 : -1;
}
