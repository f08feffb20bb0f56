#include "tool/Process.h"

#include "assetdb/ContentFolders.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/String.h"

#include <cmath>
#include <cstring>

namespace {

constexpr size_t kCommandBufferSize = 260;
constexpr uint32_t kSignature[4] = {0x2B746B3E, 0x0A80C2BE, 0x168401F7, 0x01D1EE3C};
// A settings file is a few dozen bytes; anything far larger is not one.
constexpr uint64_t kMaxSettingsFileSize = 4096;

// Little-endian fields read one by one; a short file leaves the rest untouched.
class FieldReader
{
public:
    FieldReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool U32(uint32_t& out)
    {
        if (size_ - pos_ < 4) return false;
        out = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 | uint32_t(data_[pos_ + 2]) << 16 |
              uint32_t(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }
    bool F32(float& out)
    {
        uint32_t bits;
        if (!U32(bits)) return false;
        std::memcpy(&out, &bits, 4);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

std::string BuildUrlProtocolCommand(const char* executable)
{
    std::string exe = executable ? executable : "";
    std::string command = (!exe.empty() && exe[0] == '"') ? exe : "\"" + exe + "\"";
    command += " \"%1\"";
    if (command.size() >= kCommandBufferSize) return std::string();
    return command;
}

bool RegisterUrlProtocol(const char* executable, const char* settingsFolder)
{
    std::string command = BuildUrlProtocolCommand(executable);
    if (command.empty()) return false;
    Orvo::File::Path folder =
        settingsFolder && *settingsFolder ? Orvo::File::Path(settingsFolder) : GetContentFolder("settings");
    if (folder.IsEmpty()) return false;
    TDBTagRef tree;
    tree.EnsureContainer();
    TDBTagRef key = tree.CreateChildContainer("Velmar");
    key.SetChildString("default", "URL: Velmar Protocol");
    key.SetChildString("URL Protocol", "");
    key.CreateChildContainer("Shell").CreateChildContainer("Open").CreateChildContainer("Command").SetChildString(
        "default", command);
    folder.AddPath("url-protocol.txt");
    return SaveConfigFile(tree, {}, folder.View(), "txt");
}

void DisplaySettings::Reset()
{
    width = 1024;
    colourBits = 32;
    vsyncMode = 0;
    refreshChoice = 0;
    stencil = 1;
    renderer = 1;
    noHardwareTransform = 0;
    groundPolygonOffset = 0;
    unused = 0;
    offsetVertices = 0;
    vertexOffset = 0.5f;
    height = 768;
    fullScreen = 1;
    physicalScreenRatio = 0.0f;
    multisample = 4;
    formFactor = 0;
    screenDiagonalInches = 3.5f;
}

void ParseDisplaySettings(const uint8_t* data, size_t size, DisplaySettings& s)
{
    uint32_t version = 0;
    FieldReader r(data, size);
    if (size >= 16)
    {
        bool signed_ = true;
        for (int i = 0; i < 4; ++i)
        {
            uint32_t v = uint32_t(data[i * 4]) | uint32_t(data[i * 4 + 1]) << 8 | uint32_t(data[i * 4 + 2]) << 16 |
                         uint32_t(data[i * 4 + 3]) << 24;
            if (v != kSignature[i]) signed_ = false;
        }
        if (signed_)
        {
            r = FieldReader(data + 16, size - 16);
            if (!r.U32(version)) return;
        }
    }
    if (version >= 5) return;
    uint32_t* first[] = {&s.width,   &s.colourBits, &s.vsyncMode,           &s.refreshChoice,
                         &s.stencil, &s.renderer,   &s.noHardwareTransform, &s.groundPolygonOffset};
    for (uint32_t* f : first)
        if (!r.U32(*f)) return;
    uint32_t dropped;
    if (version == 1 && !r.U32(dropped)) return;
    if (!r.U32(s.unused) || !r.U32(s.offsetVertices) || !r.F32(s.vertexOffset) || !r.U32(s.height) ||
        !r.U32(s.fullScreen) || !r.F32(s.physicalScreenRatio))
        return;
    if (version > 0)
    {
        if (!r.U32(s.multisample)) return;
        if (version < 3 || (s.multisample != 2 && s.multisample != 4)) s.multisample = 4;
    }
    if (version >= 4)
    {
        if (!r.U32(s.formFactor)) return;
        r.F32(s.screenDiagonalInches);
    }
}

bool ReadDisplaySettings(const char* folder, DisplaySettings& settings)
{
    Orvo::File::Path path(folder ? folder : "");
    path.AddPath("Velmar.cfg");
    std::string bytes;
    if (!Orvo::File::ReadFile(path.View(), bytes, kMaxSettingsFileSize)) return false;
    ParseDisplaySettings(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), settings);
    return true;
}

std::string BuildSimulatorArguments(const DisplaySettings& s)
{
    static const char* const kFrequencies[] = {"60", "70", "72", "75", "80", "85", "100"};
    Orvo::String a;
    a.AppendFormat(" -Width=%u", s.width);
    a.AppendFormat(" -Height=%u", s.height);
    a.AppendFormat(" -ColorBits=%u", s.colourBits);
    a.AppendFormat(s.fullScreen ? " -fullscreen" : " -windowed");
    if (std::fabs(s.physicalScreenRatio) > 0.0f) a.AppendFormat(" -PhysicalScreenRatio=%f", s.physicalScreenRatio);
    if (static_cast<int32_t>(s.multisample) > 0)
        a.AppendFormat(" -multiSample=%d", static_cast<int32_t>(s.multisample));
    a.AppendFormat(" -Render=%s", s.renderer == 0 ? "DirectX9" : "OpenGL");
    if (s.stencil == 0) a.AppendFormat(" -DisableStencil");
    if (s.noHardwareTransform) a.AppendFormat(" -nohwtnl");
    if (s.groundPolygonOffset) a.AppendFormat(" -groundpolyoffset");
    if (s.vsyncMode == 1) a.AppendFormat(" -Vsync");
    if (s.vsyncMode == 2) a.AppendFormat(" -Vsync=2");
    if (s.refreshChoice >= 1 && s.refreshChoice <= 7)
        a.AppendFormat(" -Frequency=%s", kFrequencies[s.refreshChoice - 1]);
    if (s.offsetVertices) a.AppendFormat(" -offsetvertices=%.1f", static_cast<double>(s.vertexOffset));
    a.AppendFormat(" -formfactor=%d", static_cast<int32_t>(s.formFactor));
    if (s.screenDiagonalInches > 0.0f)
    {
        double diagonal = std::sqrt(double(s.width) * s.width + double(s.height) * s.height);
        a.AppendFormat(" -screenppi=%d", static_cast<int>(diagonal / s.screenDiagonalInches));
    }
    return a.str();
}

bool LaunchSimulator(const char* installationFolder, const char* extraArguments, const DisplaySettings* settings)
{
    if (!installationFolder || !*installationFolder) return false;
    DisplaySettings read;
    if (!settings)
    {
        if (!ReadDisplaySettings(installationFolder, read)) return false;
        settings = &read;
    }
    std::string args = BuildSimulatorArguments(*settings);
    if (extraArguments && *extraArguments) args += std::string(" ") + extraArguments;
    Orvo::File::Path exe(installationFolder);
    exe.AddPath("bin/velmar");
    return LaunchProcess(exe.c_str(), args.c_str(), installationFolder, 0) != 0;
}
