// PVRTC through the external PVRTexToolCLI: the image goes out as a PNG in a private temporary folder, the
// tool writes a PVR file (version 3: a 52-byte header, the metadata it declares, then the levels, largest
// first), and the folder is removed whatever happened.
#include "textures/TextureCompress.h"

#include "assetdb/ContentFolders.h"
#include "engine/File.h"
#include "engine/TextCase.h"
#include "engine/TextureFormat.h"
#include "platform/Process.h"
#include "platform/TemporaryFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using Orvo::Bitmap;

namespace {

constexpr char kToolName[] = "PVRTexToolCLI";
// The tool compresses a 2048 x 2048 texture in seconds; one that hangs is ended after this.
constexpr int kToolTimeoutMs = 300000;
constexpr size_t kPvrHeaderSize = 52;
constexpr uint32_t kPvrMaxMetadata = 1u << 20;
// What the tool says is kept for a failure's reason: its first lines, up to this many bytes.
constexpr size_t kToolSaysBytes = 400;
constexpr uint64_t kToolOutputLimit = 64 * 1024;

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

// The tool's own words from its output file (standard output and error together), on one line: its lines
// joined with "; ", at most kToolSaysBytes bytes. Empty when it said nothing or wrote too much to read.
std::string ToolSays(const std::string& outputFile)
{
    std::string text;
    if (!Orvo::File::ReadFile(outputFile, text, kToolOutputLimit)) return {};
    std::string says;
    size_t start = 0;
    while (start < text.size() && says.size() < kToolSaysBytes)
    {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line = Orvo::TrimView(std::string_view(text.data() + start, end - start));
        if (!line.empty())
        {
            if (!says.empty()) says += "; ";
            says += line;
        }
        start = end + 1;
    }
    if (says.size() > kToolSaysBytes) says.resize(kToolSaysBytes);
    // Only printable text reaches a result.
    for (char& c : says)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return says;
}

}  // namespace

std::string FindPvrTexTool(const std::string& explicitPath)
{
    if (!explicitPath.empty()) return IsExecutableFile(explicitPath) ? explicitPath : std::string();
    const std::string beside = Platform::ExecutableFolder() + "/" + kToolName;
    if (IsExecutableFile(beside)) return beside;
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty())
    {
        const size_t cut = std::min(rest.find(':'), rest.size());
        const std::string folder(rest.substr(0, cut));
        rest.remove_prefix(std::min(cut + 1, rest.size()));
        if (folder.empty()) continue;
        const std::string candidate = folder + "/" + kToolName;
        if (IsExecutableFile(candidate)) return candidate;
    }
    return {};
}

std::string TextureCompressWorkFolder()
{
    const Orvo::File::Path userData = GetUserDataPath();
    if (!userData.IsEmpty())
    {
        std::string cache = userData.str() + "/cache";
        if (Orvo::File::IsDirectory(cache) || Orvo::File::Md(cache)) return cache;
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp == '/' ? std::string(tmp) : std::string("/tmp");
}

bool TextureCompress::CompressWithPvrTexTool(const Bitmap& image, bool mips)
{
    if (image.GetWidth() != image.GetHeight()) return Fail("PVRTC textures must be square");
    const std::string tool = FindPvrTexTool(pvrTexTool_);
    if (tool.empty())
        return Fail("PVRTexToolCLI was not found beside the program or on PATH; PVRTC textures cannot be made");

    // PVRTC blocks cover 8 x 8 pixels at the least: smaller images are scaled up first.
    std::unique_ptr<Bitmap> scaled;
    const Bitmap* input = &image;
    if (image.GetWidth() < 8)
    {
        scaled = image.ScaleArbitrary(8, 8);
        if (!scaled) return Fail("out of memory");
        input = scaled.get();
    }

    // A private folder for this run of the tool, removed with its contents afterwards (or by a signal that ends the
    // process first, or after a kill by the sweep of what the process recorded as its own work).
    Platform::TemporaryFolder folder;
    if (!folder.MakeUnique(TextureCompressWorkFolder() + "/" + kWorkFolderPrefix + std::to_string(::getpid()) +
                           "_XXXXXX"))
        return Fail("cannot make a temporary folder in " + TextureCompressWorkFolder());
    const std::string& work = folder.Path();
    const std::string in = work + "/orvo_texturecompress.png";
    const std::string out = work + "/orvo_texturecompress.pvr";
    Orvo::String reason;
    if (!input->Save(in, &reason)) return Fail(reason.str());

    // The tool's standard output and error are kept in a file: its reason for a failure is said there.
    const std::string said = work + "/orvo_texturecompress.out";
    const int saidFd = ::open(said.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (saidFd < 0) return Fail("cannot make a file in " + work + ": " + std::strerror(errno));
    std::vector<std::string> args = {"-f", format_ == Orvo::DFormatPVRTC4 ? "PVRTC1_4_RGB" : "PVRTC1_4"};
    if (mips) args.push_back("-m");
    args.insert(args.end(), {"-o", out, "-i", in});
    Platform::LaunchResult run = Platform::LaunchProcess(tool, args, work, Platform::kLaunchNoConsole, saidFd, saidFd);
    ::close(saidFd);
    if (!run) return Fail("cannot start " + tool + ": " + run.error);
    int exitCode = -1;
    if (Platform::WaitForProcess(run.pid, kToolTimeoutMs, &exitCode) != Platform::WaitResult::Exited)
    {
        Platform::EndProcess(run.pid, 1000);
        (void)Platform::WaitForProcess(run.pid, 5000);  // reaped or not, the conversion has failed
        return Fail("PVRTexToolCLI did not finish");
    }
    if (exitCode != 0)
    {
        const std::string says = ToolSays(said);
        return Fail("PVRTexToolCLI failed with exit code " + std::to_string(exitCode) +
                    (says.empty() ? std::string() : ": " + says));
    }

    std::string data;
    if (!Orvo::File::ReadFile(out, data, uint64_t(256) << 20)) return Fail("PVRTexToolCLI wrote no output file");
    const auto* b = reinterpret_cast<const uint8_t*>(data.data());
    if (data.size() < kPvrHeaderSize || std::memcmp(b, "PVR\x03", 4) != 0)
        return Fail("PVRTexToolCLI wrote a file that is not a PVR file");
    const uint32_t height = ReadU32(b + 24), width = ReadU32(b + 28), levels = ReadU32(b + 44);
    const uint32_t metadata = ReadU32(b + 48);
    if (metadata > kPvrMaxMetadata || width != input->GetWidth() || height != input->GetHeight() || levels == 0 ||
        levels > Orvo::FullMipChainLength(width, height))
        return Fail("PVRTexToolCLI wrote an unexpected PVR header");
    size_t pos = kPvrHeaderSize + metadata;
    uint32_t w = width, h = height;
    for (uint32_t i = 0; i < levels; ++i)
    {
        const size_t size = Orvo::DFormatLevelSize(format_, w, h);
        if (pos > data.size() || data.size() - pos < size) return Fail("the PVR file ends inside its levels");
        if (!AddLevel(w, h, b + pos, size)) return Fail("out of memory");
        pos += size;
        w = std::max(w / 2, 1u);
        h = std::max(h / 2, 1u);
    }
    if (pos != data.size()) return Fail("the PVR file holds more than its levels");
    if (mips && levels != Orvo::FullMipChainLength(width, height))
        return Fail("PVRTexToolCLI made an incomplete mip chain");
    return true;
}
