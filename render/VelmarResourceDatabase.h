#pragma once
// The resource database of one content folder under its source name. When an archive of the folder's
// name with the extension "oa" lies beside the folder, the archive is served in its place. The database
// registers the file substitution "<source name>:" for its whole life.
#include "engine/PString.h"
#include "engine/ResourceDatabase.h"

#include <string>
#include <string_view>

class VelmarResourceDatabase : public Orvo::ResourceDatabase
{
public:
    VelmarResourceDatabase(const Orvo::PString& name, std::string_view folder, Orvo::ResourceSystem* system);
    ~VelmarResourceDatabase() override;

    bool IsArchive() const { return archive_; }
    // The path the substitution points at: the archive, or the folder followed by "/".
    const std::string& GetSubstitutedPath() const { return path_; }

private:
    bool archive_ = false;
    std::string path_;
};
