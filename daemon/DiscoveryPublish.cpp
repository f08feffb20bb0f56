#include "daemon/DiscoveryPublish.h"

#include "assetdb/VADDiscovery.h"
#include "daemon/DaemonLog.h"

#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kPrivateAttempts = 4;

bool CreateAt(const DiscoveryCreateStep& create, Platform::SharedMemoryBlock& block, const std::string& name,
              std::string& why, int& number)
{
    number = 0;
    if (create) return create(block, name, &why, &number);
    return block.Create(name, kVADDiscoveryBlockSize, &why, &number);
}

// Takes away the block at our usual name when it is a leftover of this root's own: a block of ours (owner-only,
// regular) that decodes and names this root. We hold the root's lock, so no live daemon of this root serves
// through it (one whose installation was removed and made anew under the same path is closing already).
// Nothing else is ever removed, and the name then counts as taken:
// - what another user put there is not ours to remove;
// - a block of another root may be the only name of that root's live block (two real paths whose names hash
//   alike): removing it would cut that daemon off from its clients. A hard link to it that someone made here
//   looks the same from this side (a link count says there is another name, not which one is the root's own);
// - a block that does not decode (an older layout, one its maker never wrote) cannot say whose it is.
// Publishing under a private name costs nothing but the record, and harms nobody.
bool DropLeftoverOfRoot(const std::string& name, const std::string& realRoot)
{
    Platform::SharedMemoryBlock found;
    uint8_t raw[kVADDiscoveryBlockSize];
    VADDiscoveryBlock b;
    if (!found.Open(name, false) || !found.Read(0, raw, sizeof raw) || !VADDecodeDiscoveryBlock(raw, b) ||
        !VADBlockServesRoot(b, realRoot))
        return false;
    // Only while the name still stands for the block just read.
    return found.RemoveName();
}

// The usual name is taken: the block goes under a name nobody can guess, recorded where only this user can read
// it, so that our clients still find us and no other user ever sees the token.
bool PublishPrivately(const std::string& realRoot, uint32_t pid, DiscoveryPublication& out, std::string& why,
                      const DiscoveryCreateStep& create)
{
    DLOG("the discovery name %s cannot be used (%s): publishing under a private name", out.name.c_str(), why.c_str());
    const uint32_t uid = static_cast<uint32_t>(getuid());
    for (int attempt = 0; attempt < kPrivateAttempts; ++attempt)
    {
        const std::string name = VADPrivateDiscoveryName(uid);
        if (name.empty())
        {
            why = "the system gives no random bytes for a private discovery name";
            return false;
        }
        int number = 0;
        if (CreateAt(create, out.block, name, why, number))
        {
            out.name = name;
            break;
        }
        // A random name taken is somebody's guess that came true: another one is drawn. Anything else is final.
        if (number != EEXIST) return false;
    }
    if (!out.block.IsOpen()) return false;
    std::string recordError;
    if (!VADWriteDiscoveryRecord(realRoot, pid, out.name, &recordError))
    {
        why = "the discovery name is taken and the private name cannot be recorded: " + recordError;
        out.block.Close();
        Platform::SharedMemoryBlock::Unlink(out.name);
        return false;
    }
    out.recorded = true;
    return true;
}

}  // namespace

bool PublishDiscoveryBlock(const std::string& realRoot, uint32_t pid, DiscoveryPublication& out, std::string* error,
                           const DiscoveryCreateStep& create)
{
    // A record of a private block that a daemon of ours left when it died (we hold the root lock, so no live
    // daemon uses it): its block and the record go.
    uint32_t leftPid = 0;
    std::string left;
    if (VADReadDiscoveryRecord(realRoot, leftPid, left) && Platform::SharedMemoryBlock::RemoveOwn(left))
        DLOG("removed the private discovery block a daemon that died left behind");
    VADRemoveDiscoveryRecord(realRoot);

    out.block.Close();
    out.recorded = false;
    out.name = VADDiscoveryName(static_cast<uint32_t>(getuid()), realRoot);
    std::string why;
    int number = 0;
    bool made = CreateAt(create, out.block, out.name, why, number);
    // Taken or not is what the create met. Whatever is at the name by now (someone may have emptied it since),
    // a failure other than a taken name, such as no room in /dev/shm, is the failure to report.
    if (!made && number == EEXIST && DropLeftoverOfRoot(out.name, realRoot))
    {
        DLOG("removed the discovery block a daemon that died left behind");
        made = CreateAt(create, out.block, out.name, why, number);
    }
    if (!made && number == EEXIST) made = PublishPrivately(realRoot, pid, out, why, create);
    if (!made && error) *error = why;
    return made;
}
