#pragma once
// Where the daemon publishes its discovery block (assetdb/VADDiscovery.h): under the usual name of its root, or,
// when that name is taken, under a private name recorded below the root. Only the daemon holding the root's
// lock publishes, so no live daemon of the same root uses a block of that root found at the name.
#include "platform/SharedMemory.h"

#include <cstdint>
#include <functional>
#include <string>

struct DiscoveryPublication
{
    Platform::SharedMemoryBlock block;  // open (zeroed) once made
    std::string name;                   // the usual name, or the private one
    bool recorded = false;              // under a private name, recorded below the root
};

// The one step that makes a block under a name, as Platform::SharedMemoryBlock::Create does it (with the
// discovery block's size). A test puts its own in to change what is at a name between two steps.
using DiscoveryCreateStep = std::function<bool(Platform::SharedMemoryBlock& block, const std::string& name,
                                               std::string* error, int* errorNumber)>;

// Makes the discovery block of the installation at `realRoot` (its real path) for the daemon `pid`. What a
// daemon of the root left when it died goes first. Whether the usual name is taken is what the create said
// (EEXIST), never a later look at the name, which someone may have emptied or filled since; a taken name sends
// the block to a private name. Any other failure (no room in /dev/shm) is the answer: false with the reason.
bool PublishDiscoveryBlock(const std::string& realRoot, uint32_t pid, DiscoveryPublication& out, std::string* error,
                           const DiscoveryCreateStep& create = {});
