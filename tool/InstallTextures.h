#pragma once
// Texture descriptions compiled in the tool before it hands asset folders it wrote itself to the daemon
// (the assets of a package being installed, an archive entry about to be committed): the daemon would
// otherwise compile them through the command host, which may be this very process. They are compiled for
// the install targets (the default list); the requests then say so (kVADInstallTexturesCompiled,
// kVADCommitTexturesCompiled).
#include "core/KUID.h"

#include <string>
#include <utility>
#include <vector>

class ResultsLog;

// An asset folder below the folder being compiled, and the asset it holds.
using InstallTextureAsset = std::pair<std::string, KUID>;

// Compiles every texture description below `folder`. A texture that fails is a warning, not an error: the
// asset is installed all the same and validation names the texture. Results that name a path in one of
// `assets` are about that asset, the path shown relative to its folder.
void CompileInstallTextures(const std::string& folder, const std::vector<InstallTextureAsset>& assets, ResultsLog& log);
