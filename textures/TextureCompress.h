#pragma once
// The texture compression front end: one uncompressed image becomes the mip levels of one texture in a
// display format id (engine/TextureFormat.h). The encoder follows the format id, so every level is
// written in the format it is recorded under:
//   1, 3        uncompressed copies, halved with Bitmap::Scale
//   10, 11, 12  DXT1 (1-bit alpha with the alpha flag), DXT3, DXT5: the mip chain is nvtt's Kaiser chain
//               (KaiserMipChain.h, nvtt's levels made without nvtt) for colour textures and nvtt's own
//               renormalised box chain for normal maps, with the wrap mode; every level is encoded by the
//               codec library's DXTC quality encoder
//   25, 26, 27  ATC through the codec library
//   28          ETC1 through CompressImageETC1
//   23, 24      PVRTC 4 bpp through PVRTexToolCLI (square textures, at least 8 x 8)
// Every level is an Orvo::Bitmap that the object owns: pixels (formats 2/3) or raw blocks (format 5).
#include "assetdb/PStringArray.h"
#include "engine/Bitmap.h"

#include <memory>
#include <string>
#include <vector>

class TextureCompress
{
public:
    TextureCompress() = default;
    TextureCompress(const TextureCompress&) = delete;
    TextureCompress& operator=(const TextureCompress&) = delete;

    // Produces the levels of `image` (pixel format 2 or 3; it may be changed in place: its top byte
    // becomes 0xFF unless it carries alpha that the format keeps). `mips` false gives level 0 alone,
    // otherwise the chain runs down to 1 x 1. False with GetLastError set when any level failed; levels
    // made before the failure stay until Clear.
    bool Compress(Orvo::Bitmap& image, const PStringArray& targets, uint32_t format, bool alpha, bool wrap,
                  bool normalMap, bool mips);

    size_t GetLevelCount() const { return levels_.size(); }
    const Orvo::Bitmap* GetLevel(size_t i) const { return i < levels_.size() ? levels_[i].get() : nullptr; }
    uint32_t GetFormat() const { return format_; }
    // Why the last Compress failed (this object's own text: conversions running at the same time never
    // see each other's errors).
    const std::string& GetLastError() const { return lastError_; }
    void Clear();

    // True when PVRTexToolCLI makes the mip chain itself (the targets hold "pvrtc" or "ios").
    static bool ToolMakesMips(const PStringArray& targets);
    // The PVRTexToolCLI this object runs instead of the one FindPvrTexTool finds (empty: that one).
    void SetPvrTexToolPath(std::string path) { pvrTexTool_ = std::move(path); }

private:
    bool Fail(std::string text);
    bool AddLevel(uint32_t width, uint32_t height, const uint8_t* bytes, size_t size);
    bool CopyUncompressed(const Orvo::Bitmap& image, bool mips);
    bool CompressDxt(const Orvo::Bitmap& image, bool alpha, bool wrap, bool normalMap, bool mips);
    bool CompressPerLevel(const Orvo::Bitmap& image, bool mips);
    bool CompressLevel(const Orvo::Bitmap& level);
    bool CompressLevelATC(const Orvo::Bitmap& level);
    bool CompressLevelETC1(const Orvo::Bitmap& level);
    bool CompressWithPvrTexTool(const Orvo::Bitmap& image, bool mips);

    PStringArray targets_;
    std::vector<std::unique_ptr<Orvo::Bitmap>> levels_;
    uint32_t format_ = 0;
    std::string lastError_;
    std::string pvrTexTool_;
};

// Inverts the green channel of a normal map made for the other convention; pixels that are all zero (no
// normal) stay zero. Any pixel format; raw data is left alone.
void InvertNormalMapGreen(Orvo::Bitmap& image);

// PVRTexToolCLI: `explicitPath` when it is given, else "PVRTexToolCLI" beside the running executable,
// else the first one on PATH. Empty when there is none (or the explicit one is no executable file).
std::string FindPvrTexTool(const std::string& explicitPath = {});

// Where the front end makes its private temporary folders: the UserData cache folder when an installation
// is set, otherwise the system's temporary folder (never the current folder).
std::string TextureCompressWorkFolder();
// Their names: this, the process id, "_" and six characters of mkdtemp's. One a kill leaves behind is removed by the
// sweep of the process's recorded own work (platform/OwnWorkSweep.h), never by its name.
inline constexpr char kWorkFolderPrefix[] = "orvo_texturecompress_";
