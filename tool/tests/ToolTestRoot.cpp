#include "ToolTestRoot.h"

#include "CommandTestSupport.h"

#include "assetdb/ContentFolders.h"

#include <filesystem>

namespace fs = std::filesystem;

const std::string& ToolTestRoot()
{
    static TempFolder folder;
    static const bool ready = [] {
        std::error_code ec;
        fs::create_directories(folder.Sub("bin"), ec);
        const std::string staged = std::string(VELMAR_STAGE_DIR) + "/bin/VADDaemon";
        fs::create_hard_link(staged, folder.Sub("bin/VADDaemon"), ec);
        if (ec) fs::copy_file(staged, folder.Sub("bin/VADDaemon"), ec);
        return SetInstallationPath(Orvo::File::Path(folder.Path())) && InitialiseContentFolders();
    }();
    EXPECT_TRUE(ready);
    return folder.Path();
}

bool ToolTestRootHasDaemon() { return fs::exists(ToolTestRoot() + "/bin/VADDaemon"); }
