#pragma once
// What the command words and the command host are given: the daemon client on the tool's connection and
// the engine objects start-up made. The Tool owns the one of a run (Tool::Context()); tests make their own,
// on a connection of theirs or on none (then every request fails at once, as without a daemon).
#include "assetdb/VADClient.h"
#include "engine/EngineObjects.h"

#include <string>
#include <utility>

namespace TETLib {
class DataManager;
}

class ToolContext
{
public:
    // With `specs`, the spec cache of the run, whose entry a delete drops.
    ToolContext(VADConnection* connection, EngineObjects& engine, NWSpecFactory* specs = nullptr)
        : client_(connection ? VADClient(*connection) : VADClient()), engine_(engine)
    {
        client_.SetSpecCache(specs);
    }

    VADClient& Client() { return client_; }
    // The connection; null for a context without one.
    VADConnection* Connection() { return client_.Link(); }
    EngineObjects& Engine() { return engine_; }
    // The folder the tool was started from (StartDirectory.h), against which relative path arguments are
    // resolved; empty while unknown.
    const std::string& StartDirectory() const { return startDirectory_; }
    void SetStartDirectory(std::string folder) { startDirectory_ = std::move(folder); }
    // The validation library's data manager the run validates with (the command host's validate job); null
    // while there is none.
    TETLib::DataManager* Validation() const { return validation_; }
    void SetValidation(TETLib::DataManager* validation) { validation_ = validation; }

private:
    VADClient client_;
    EngineObjects& engine_;
    std::string startDirectory_;
    TETLib::DataManager* validation_ = nullptr;
};
