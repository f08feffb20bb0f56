#pragma once
// The one bound on the size of a configuration file, wherever one is read: an asset's "config.txt" or
// "config.chump", the settings and download-station index of the daemon, validation templates, keyword and
// consist lists, and the files the config parser reads (mesh and LOD descriptions). A file above it is
// refused before it is read, with a message naming the file and the bound. Packages (".cdp") are not
// configuration files: they have bounds of their own.
//
// A load above kLargeConfigLoadBytes leaves the heap holding its text, its tree and its interned tag names
// after the tree is freed; GiveBackMemoryAfterLargeLoads frees the names nobody holds and returns such memory
// to the system (long-lived processes call it when a request or job is done).
#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

constexpr uint64_t kMaxConfigFileBytes = uint64_t(32) << 20;
constexpr uint64_t kLargeConfigLoadBytes = uint64_t(1) << 20;

// "larger than 32 MiB (33554432 bytes), the most a configuration file may hold; it was not read"
std::string ConfigFileTooLargeReason();
// "'<path>' is " and the reason.
std::string ConfigFileTooLargeText(std::string_view path);

// Notes a load of that many bytes (only large ones count).
void NoteConfigLoad(uint64_t bytes);
// After a large load: gives the memory the heap holds free back to the system. Does nothing otherwise.
void GiveBackMemoryAfterLargeLoads();

}  // namespace Orvo
