#pragma once
// dlsparsefolder installs, exports and deletes a copy of each asset it finds. Where the user has that asset
// installed already, the daemon holds the installed copy aside for the run (its folder and its record, request 56)
// and puts it back as it was once the run's copy is deleted (request 57), so the delete takes only what the run
// put in; an asset the user did not have stays deleted.
//
// A hold is the daemon's that took it, on that link: while it lasts every request of the run goes over that link
// alone (VADConnection::PinLink). Once that daemon has stopped, the run neither exports, deletes nor changes the
// asset again (a daemon started after it has put the user's copy back, or will when it starts), and what the run
// says of the user's copy is what it finds.
#include "core/KUID.h"
#include "engine/FilePath.h"

#include <cstdint>
#include <string>

class ResultsLog;
class VADClient;

class HeldInstalledAsset
{
public:
    HeldInstalledAsset() = default;
    HeldInstalledAsset(const HeldInstalledAsset&) = delete;
    HeldInstalledAsset& operator=(const HeldInstalledAsset&) = delete;
    // Lets the run's requests reopen the link again, whatever became of the hold.
    ~HeldInstalledAsset();

    // Reads the KUID the configuration `config` of `folder` names (a configuration that cannot be read names
    // none: the install, which never replaces an installed copy, then says why) and has the daemon hold the
    // installed copy of that asset aside. False when the daemon refuses (open for editing, being installed):
    // posted as the folder's install failure, with the daemon's reason, and nothing has changed.
    bool Hold(VADClient& client, const Orvo::File::Path& config, const Orvo::File::Path& folder, ResultsLog& log);
    // Puts back what Hold held (true when it held nothing). False, posted naming the asset and where its copy
    // is kept, when it could not be put back; where the daemon that held it has stopped, what became of the copy.
    bool PutBack(VADClient& client, ResultsLog& log);

private:
    void Unpin();

    VADClient* client_ = nullptr;
    KUID kuid_ = KUID::Null();
    uint32_t held_ = 0;
    std::string at_;
    uint64_t link_ = 0;  // the link the hold was taken on
};
