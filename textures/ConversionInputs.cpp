#include "textures/ConversionInputs.h"

#include "engine/AsciiTextureResource.h"
#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/PathComponents.h"

#include <algorithm>

namespace {

// x.texture.txt is compiled to x.texture.
std::string CompiledName(const std::string& description) { return Orvo::File::Path(description).DelExt().str(); }

}  // namespace

void ConversionInputs::Note(const Platform::FileIdentity& file, const std::string& path, const std::string& description,
                            bool isDescription)
{
    if (!file.known) return;
    const Key key{file.device, file.inode};
    sources_[description].push_back(key);
    if (files_.count(key) != 0) return;
    files_[key] = {path, isDescription ? "it is '" + path + "', the description of a texture this conversion compiles"
                                       : "it is '" + path + "', which the texture '" + description + "' is made from"};
}

bool ConversionInputs::Keep(const std::vector<std::string>& descriptions, std::string& why)
{
    for (const std::string& description : descriptions)
    {
        // Each file as the conversion finds it: through links, and a picture's name without regard to case.
        std::string real, text, primary, alpha;
        if (!Orvo::File::Resolve(description, real)) real = description;
        Note(Platform::FileIdentity::OfPath(real), description, description, true);
        if (Orvo::AsciiTextureResource::ReadImageNames(description, text, primary, alpha))
        {
            const std::string folder = Orvo::File::Path(description).DelName().str();
            for (const std::string* name : {&primary, &alpha})
                if (!name->empty() && Orvo::IsInsideName(*name) && Orvo::File::Resolve(folder + *name, real))
                    Note(Platform::FileIdentity::OfPath(real), real, description, false);
        }
        if (files_.size() > kMaxFiles)
        {
            files_.clear();
            sources_.clear();
            why = "the folder holds more than " + std::to_string(kMaxFiles) +
                  " texture descriptions and pictures, more than one conversion reads: convert its folders one at a "
                  "time";
            return false;
        }
    }
    for (const auto& [key, file] : files_) kept_.Add({key.first, key.second, true}, file.why);
    return true;
}

std::string ConversionInputs::RefusedOutput(const std::string& description)
{
    // The compiled texture as the kernel finds it by its name, following links.
    const Platform::FileIdentity file = Platform::FileIdentity::OfPath(CompiledName(description));
    if (!file.known) return {};
    const Key key{file.device, file.inode};
    if (const auto read = files_.find(key); read != files_.end())
    {
        const std::vector<Key>& own = sources_[description];
        if (std::find(own.begin(), own.end(), key) != own.end())
            return "it is '" + read->second.path + "', which the texture is made from";
        return read->second.why;
    }
    const auto [claimed, fresh] = outputs_.emplace(key, description);
    if (fresh) return {};
    return "it is '" + CompiledName(claimed->second) + "' too, which the texture '" + claimed->second +
           "' is compiled into";
}
