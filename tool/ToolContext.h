#pragma once
// What the command words and the command host are given: the daemon client on the tool's connection and
// the engine objects start-up made. The Tool owns the one of a run (Tool::Context()); tests make their own,
// on a connection of theirs or on none (then every request fails at once, as without a daemon).
#include "assetdb/VADClient.h"
#include "engine/EngineObjects.h"

class ToolContext
{
public:
    ToolContext(VADConnection* connection, EngineObjects& engine)
        : client_(connection ? VADClient(*connection) : VADClient()), engine_(engine)
    {}

    VADClient& Client() { return client_; }
    // The connection; null for a context without one.
    VADConnection* Connection() { return client_.Link(); }
    EngineObjects& Engine() { return engine_; }

private:
    VADClient client_;
    EngineObjects& engine_;
};
