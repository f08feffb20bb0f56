#pragma once
// "dlsparse": prepares one uploaded content package for the download station. Every asset of the package
// is installed, its dependencies are fetched from the download station, the status printer and the
// validate command run on it, a fixed set of description lines is posted for it, and it is written beside
// the package as "<spaced KUID>.cdp" with a "<spaced KUID>.jpg" thumbnail, each as a file the user names is
// written (Platform::OutputFile: a batch file being run is refused; a file with a second name or of another owner
// is written in place, keeping its names, owner and mode). One whose name is the package's (a second name of it,
// a link to it), or a thumbnail that is the asset's archive, is not written: that asset fails with the reason, the
// package stays whole.
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "engine/FilePath.h"
#include "engine/String.h"
#include "platform/FileIdentity.h"
#include "tool/dls/AssetArchive.h"

#include <cstdint>

class ResultsLog;
class VADClient;

// The uploader whose assets are validated without the lowest-build rule.
constexpr int32_t kBuildRuleExemptUploader = 604218;
// How long the parse waits for the daemon to become ready.
constexpr unsigned kDaemonReadyWaitMs = 300000;
// Dependency passes per asset: each pass fetches the asset's dependencies from the download station.
constexpr int kMaxDependencyPasses = 8;

// False when the package cannot be read, installing it produced errors (the assets installed are
// reverted), the daemon did not become ready, or an asset's archive or thumbnail could not be written;
// true otherwise, also when the status printer or the validation post errors about the assets.
bool ParseDownloadStationPackage(VADClient& client, const Orvo::File::Path& path, int32_t uploaderId, ResultsLog& log);

// Waits until the daemon reports itself ready, running main-thread work meanwhile when called on the
// main thread. Gives up when the link is gone or the wait's bound has passed (the error is posted).
bool WaitForDaemonReady(VADClient& client, ResultsLog& log, unsigned boundMs = kDaemonReadyWaitMs);

// Fetches the asset's dependencies from the download station, pass after pass while the last one of a
// pass was installed, at most kMaxDependencyPasses passes. Nothing without a daemon link.
void InstallMissingDependencies(VADClient& client, const KUID& kuid);

// Writes the asset as an archive of its own (SaveAssetAsArchive), unless `path` leads to one of `kept` (the package
// parsed); posts "Unable to write asset to CDP: <reason>" on failure.
bool WriteAssetArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, ResultsLog& log,
                       const ExportKeptFiles& kept = {}, Platform::FileIdentity* written = nullptr);
// Writes the package's own thumbnail (a binary tag of image data) as a JPEG file at `path`, unless it is one of
// `kept`.
bool ExportArchiveThumbnail(const TDBTagRef& tag, const Orvo::File::Path& path, Orvo::String& reason,
                            const ExportKeptFiles& kept = {});
