#include "render/VelmarResourceDatabase.h"

#include "engine/File.h"

namespace {
std::string ForwardSlashes(std::string path)
{
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}
}  // namespace

VelmarResourceDatabase::VelmarResourceDatabase(const Orvo::PString& name, std::string_view folder,
                                               Orvo::ResourceSystem* system)
    : Orvo::ResourceDatabase(name, system)
{
    const std::string archive = ForwardSlashes(std::string(folder) + ".oa");
    archive_ = Orvo::File::Exists(archive);
    path_ = archive_ ? archive : ForwardSlashes(std::string(folder) + "/");
    Orvo::File::Subst(name.c_str(), path_.c_str(), !archive_);
}

VelmarResourceDatabase::~VelmarResourceDatabase() { Orvo::File::Subst(GetName().c_str(), nullptr, false); }
