#include "textures/CompressAsciiResource.h"

#include "engine/File.h"
#include "engine/OIRFFile.h"
#include "engine/Options.h"
#include "engine/PluginType.h"
#include "engine/TextureFormat.h"
#include "platform/OutputFile.h"
#include "textures/TextureTargets.h"

#include <atomic>
#include <mutex>
#include <unistd.h>

namespace {

// The option keys handed to the engine's texture options, in this order.
const char* const kEngineOptionKeys[] = {"Hint",      "AlphaHint", "Anisotropy", "AutoMip",
                                         "MagFilter", "MinFilter", "MipFilter",  "Tile"};

}  // namespace

CompressAsciiResource::CompressAsciiResource(const Orvo::PString& name, Orvo::ResourceDatabase* database)
    : AsciiTextureResource(name, database)
{}

void CompressAsciiResource::SetTargets(const PStringArray& targets)
{
    CopyTextureTargetList(targets_, targets);
    limits_ = TargetSizeLimits(targets_);
}

int CompressAsciiResource::LoadTxt(const std::string& fileName)
{
    if (options_ == nullptr) return SetLoadError("no texture options were given"), LoadFailed;
    forceOptions_ = options_->Has("forceOptions");
    bumpMap_ = options_->Has("BumpMap");
    Orvo::Options sizes = *options_;
    sizes.SetSeparators("MaxTextureSize", ",");
    size_t position = 0;
    Orvo::String item;
    if (sizes.GetNext("MaxTextureSize", position, item))
    {
        const long w = std::strtol(item.c_str(), nullptr, 10);
        if (w > 0) limits_.maxWidth = uint32_t(std::min<long>(w, Orvo::Bitmap::kMaxSide));
        if (sizes.GetNext("MaxTextureSize", position, item))
        {
            const long h = std::strtol(item.c_str(), nullptr, 10);
            if (h > 0) limits_.maxHeight = uint32_t(std::min<long>(h, Orvo::Bitmap::kMaxSide));
        }
    }
    if (forceOptions_ && AsciiTextureResource::LoadTxt(fileName) != LoadOk) return LoadFailed;
    Orvo::ConfigData config;
    config.kind = Orvo::ConfigData::Container;
    for (const char* key : kEngineOptionKeys)
    {
        const char* value = options_->Get(key);
        if (value == nullptr) continue;
        config.children.emplace_back();
        config.children.back().name = key;
        config.children.back().value = value;
        config.children.back().kind = Orvo::ConfigData::Raw;
    }
    if (!LoadTextureOptions(config)) return LoadFailed;
    if (forceOptions_) return LoadOk;
    return AsciiTextureResource::LoadTxt(fileName);
}

bool CompressAsciiResource::LoadConfigData(const Orvo::ConfigData& config)
{
    ApplyAndroidLimits(targets_, config.Find("Texture"), limits_);
    return AsciiTextureResource::LoadConfigData(config);
}

void CompressAsciiResource::GetSize(uint32_t& width, uint32_t& height)
{
    AsciiTextureResource::GetSize(width, height);
    FitTextureSize(targets_, compressionKind_, limits_, width, height);
}

uint32_t CompressAsciiResource::GetTargetFormat()
{
    TextureFormatInputs in;
    in.targets = &targets_;
    in.options = options_;
    in.alphaHint = alphaHint_;
    in.compressionKind = compressionKind_;
    in.normalMapHint = normalMapHint_;
    in.forceOptions = forceOptions_;
    GetSize(in.width, in.height);
    const TextureFormatPick pick = ChooseTextureFormat(in);
    alphaHint_ = in.alphaHint;
    alphaFlag_ = pick.alpha;
    return pick.format;
}

uint32_t CompressAsciiResource::GetNumMipLevels()
{
    return compressed_.empty() ? 0 : uint32_t(compressed_.front()->GetLevelCount());
}

bool CompressAsciiResource::GetMipLock()
{
    if (!AsciiTextureResource::GetMipLock()) return false;
    if (CompressAllImages()) return true;
    GetMipUnlock();
    return false;
}

bool CompressAsciiResource::GetMipUnlock()
{
    compressed_.clear();
    return AsciiTextureResource::GetMipUnlock();
}

std::unique_ptr<Orvo::Bitmap> CompressAsciiResource::GetMip(uint32_t level, uint32_t image)
{
    if (image >= compressed_.size()) return nullptr;
    const Orvo::Bitmap* l = compressed_[image]->GetLevel(level);
    if (l == nullptr) return nullptr;
    auto alias = std::make_unique<Orvo::Bitmap>();
    if (!alias->Init(l->GetWidth(), l->GetHeight(), l->GetPitch(), l->GetFormat(), const_cast<uint8_t*>(l->GetData()),
                     l->GetDataSize()))
        return nullptr;
    return alias;
}

bool CompressAsciiResource::CompressAllImages()
{
    compressed_.clear();
    compressError_.clear();
    uint32_t baseWidth = 0, baseHeight = 0, width = 0, height = 0;
    AsciiTextureResource::GetSize(baseWidth, baseHeight);
    GetSize(width, height);
    const uint32_t format = GetTargetFormat();
    const bool wrap = wrapS_ == WrapRepeat || wrapT_ == WrapRepeat;
    for (uint32_t i = 0; i < GetDepth(); ++i)
    {
        std::unique_ptr<Orvo::Bitmap> image = AsciiTextureResource::GetMip(0, i);
        if (!image)
        {
            compressError_ = GetLoadError().empty() ? "the texture's image is not loaded" : GetLoadError();
            return false;
        }
        if (width != baseWidth || height != baseHeight)
        {
            image = image->Scale(width, height);
            if (!image)
            {
                compressError_ =
                    "the image cannot be scaled to " + std::to_string(width) + " x " + std::to_string(height);
                return false;
            }
        }
        image->DetachAlias();
        if (!image->IsValid())
        {
            compressError_ = "out of memory";
            return false;
        }
        if (modifyMap_ == 1) InvertNormalMapGreen(*image);
        auto levels = std::make_unique<TextureCompress>();
        if (!levels->Compress(*image, targets_, format, alphaFlag_, wrap, normalMapHint_, UseMipMaps()))
        {
            compressError_ = levels->GetLastError();
            return false;
        }
        compressed_.push_back(std::move(levels));
    }
    return true;
}

bool CompressAsciiResource::WriteStamp(Orvo::File& file)
{
    Orvo::OIRFChunkWriter chunk(file, Orvo::OIRFTag("TXSR"), 1);
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(stamp_ >> (8 * i));
    return chunk.IsOk() && file.Write(bytes, sizeof bytes) == sizeof bytes && chunk.Finish();
}

bool CompressAsciiResource::WriteFile(const std::string& sourceName, const std::string& path)
{
    // The compiled texture is written for the user as any output is (Platform::OutputFile): whole or not at all,
    // a second name, an owner and a mode kept, and never over a file the texture is made from or the batch file
    // being run, by any name.
    std::string target;
    if (!Orvo::File::ResolveForWriting(sourceName.empty() ? path : sourceName + ":" + path, target))
    {
        compressError_ = "the file cannot be written: " + Orvo::File::LastError().message;
        return false;
    }
    Platform::OutputFile output;
    if (!output.Open(target, 0666, Platform::OutputFile::Access::kPositioned))
    {
        compressError_ = "the file cannot be written: " + output.Reason();
        return false;
    }
    for (const std::string& source : SourceFiles())
    {
        std::string file;
        if (Orvo::File::Resolve(source, file) && output.IsOutput(Platform::FileIdentity::OfPath(file)))
        {
            compressError_ = "the file cannot be written: it is '" + file + "', which the texture is made from";
            return false;
        }
    }
    bool ok = false;
    {
        Orvo::File out;
        if (out.OpenDescriptor(output.Fd(), target) != Orvo::File::Ok)
        {
            compressError_ = "the file cannot be created: " + Orvo::File::LastError().message;
            return false;
        }
        Orvo::OIRFWriteHeader header(out, Orvo::OIRFTag("MMTF"));
        ok = header.IsOk() && SaveLockedInternal(out, nullptr) && (!hasStamp_ || WriteStamp(out));
        ok = header.Finish() && ok && out.Flush();
        out.Close();
    }
    if (!ok)
    {
        if (compressError_.empty()) compressError_ = "the file cannot be written: " + Orvo::File::LastError().message;
        return false;
    }
    if (!output.Commit())
    {
        compressError_ = "the file cannot be put in place: " + output.Reason();
        return false;
    }
    return true;
}

bool CompressAsciiResource::WriteCompressedFile(const std::string& sourceName, const std::string& path)
{
    if (!CompressAllImages()) return false;
    return WriteFile(sourceName, path);
}

bool CompressAsciiResource::SaveCompressed(const std::string& path)
{
    if (!GetMipLock())
    {
        if (compressError_.empty()) compressError_ = GetLoadError();
        return false;
    }
    const bool ok = WriteFile("", path);
    GetMipUnlock();
    return ok;
}

void RegisterTextureResourceTypes()
{
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    const Orvo::UId& family = Orvo::ResourceTypeBase::FamilyId();
    static const Orvo::UId category("54455854-5552-4500-8000-000000000010");
    struct Entry
    {
        const char* extension;
        const char* id;
        Orvo::ResourceTypeBase* (*make)(const Orvo::PString&, const Orvo::UId&);
    };
    const Entry entries[] = {
        {"texture", "54455854-5552-4500-8000-000000000001",
         [](const Orvo::PString& e, const Orvo::UId& id) -> Orvo::ResourceTypeBase* {
             return new Orvo::ResourceType<Orvo::TextureResource>(e, id, category);
         }},
        {"texture.txt", "54455854-5552-4500-8000-000000000002",
         [](const Orvo::PString& e, const Orvo::UId& id) -> Orvo::ResourceTypeBase* {
             return new Orvo::ResourceType<Orvo::AsciiTextureResource>(e, id, category);
         }},
        {"convert-tex.txt", "54455854-5552-4500-8000-000000000003",
         [](const Orvo::PString& e, const Orvo::UId& id) -> Orvo::ResourceTypeBase* {
             return new Orvo::ResourceType<CompressAsciiResource>(e, id, category);
         }},
    };
    for (const Entry& e : entries)
    {
        const Orvo::PString extension(e.extension);
        Orvo::PluginType* existing = Orvo::PluginBase::LookupPluginType(family, extension);
        if (existing != nullptr)
        {
            existing->Release();
            continue;
        }
        Orvo::ResourceTypeBase* type = e.make(extension, Orvo::UId(e.id));
        type->AddRef();
        Orvo::PluginBase::RegisterPluginType(type);
        type->Release();
    }
}
