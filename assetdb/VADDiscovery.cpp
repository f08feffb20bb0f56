#include "assetdb/VADDiscovery.h"

#include "platform/OwnerOnlyFile.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kRandomBytes = 16;
constexpr size_t kMaxRecordBytes = 256;

std::string PrivatePrefix(uint32_t uid) { return "/vaddaemon-" + std::to_string(uid) + "-p"; }

std::string RecordFolder(const std::string& root) { return root + "/" + kVADDiscoveryRecordFolder; }

// A pid is anybody's once its process has ended: only a live process of this user may be our daemon.
bool Alive(uint32_t pid) { return pid != 0 && pid <= INT_MAX && Platform::IsOwnLiveProcess(static_cast<int>(pid)); }

}  // namespace

std::string VADPrivateDiscoveryName(uint32_t uid)
{
    unsigned char bytes[kRandomBytes];
    if (!VADRandomBytes(bytes, sizeof bytes)) return {};
    std::string name = PrivatePrefix(uid);
    for (unsigned char b : bytes)
    {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        name += hex;
    }
    return name;
}

bool VADIsPrivateDiscoveryName(uint32_t uid, std::string_view name)
{
    const std::string prefix = PrivatePrefix(uid);
    if (name.size() != prefix.size() + 2 * kRandomBytes || name.substr(0, prefix.size()) != prefix) return false;
    for (char c : name.substr(prefix.size()))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool VADWriteDiscoveryRecord(const std::string& root, uint32_t pid, const std::string& name, std::string* error)
{
    const std::string text = std::to_string(pid) + " " + name + "\n";
    return Platform::WriteOwnerOnlyFile(RecordFolder(root), kVADDiscoveryRecordName, text, error);
}

bool VADReadDiscoveryRecord(const std::string& root, uint32_t& pid, std::string& name)
{
    std::string text;
    if (!Platform::ReadOwnerOnlyFile(RecordFolder(root), kVADDiscoveryRecordName, kMaxRecordBytes, text)) return false;
    unsigned long number = 0;
    char found[kMaxRecordBytes];
    int used = 0;
    if (std::sscanf(text.c_str(), "%lu %255s%n", &number, found, &used) != 2 || number == 0 || number > UINT32_MAX ||
        text.substr(static_cast<size_t>(used)) != "\n")
        return false;
    name = found;
    pid = static_cast<uint32_t>(number);
    return VADIsPrivateDiscoveryName(static_cast<uint32_t>(getuid()), name);
}

void VADRemoveDiscoveryRecord(const std::string& root)
{
    Platform::RemoveOwnerOnlyFile(RecordFolder(root), kVADDiscoveryRecordName);
}

bool VADReadDiscoveryBlock(const std::string& name, VADDiscoveryBlock& block)
{
    Platform::SharedMemoryBlock shm;
    uint8_t raw[kVADDiscoveryBlockSize];
    return shm.Open(name, false) && shm.Read(0, raw, sizeof raw) && VADDecodeDiscoveryBlock(raw, block);
}

bool VADFindDiscoveryBlock(const std::string& realRoot, VADDiscoveryBlock& block, std::string* name)
{
    const std::string usual = VADDiscoveryName(static_cast<uint32_t>(getuid()), realRoot);
    if (VADReadDiscoveryBlock(usual, block) && VADBlockServesRoot(block, realRoot) && Alive(block.pid))
    {
        if (name) *name = usual;
        return true;
    }
    uint32_t pid = 0;
    std::string recorded;
    if (!VADReadDiscoveryRecord(realRoot, pid, recorded) || !Alive(pid)) return false;
    if (!VADReadDiscoveryBlock(recorded, block) || block.pid != pid || !VADBlockServesRoot(block, realRoot))
        return false;
    if (name) *name = recorded;
    return true;
}

bool VADFindDiscoveryBlockForRoot(const std::string& root, VADDiscoveryBlock& block, std::string* name)
{
    char real[PATH_MAX];
    return VADFindDiscoveryBlock(!root.empty() && ::realpath(root.c_str(), real) ? std::string(real) : root, block,
                                 name);
}
