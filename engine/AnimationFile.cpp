// The ".kin" form of an animation: reading (every count and length bounded by the bytes that hold it)
// and writing (only what the reader accepts).
#include "engine/Animation.h"

#include "engine/File.h"
#include "engine/MemoryFile.h"
#include "engine/MeshFileSupport.h"

#include <cmath>
#include <unordered_set>

namespace Orvo {
namespace {

using MFS = MeshFileSupport;

constexpr uint32_t kInfoTag = OIRFTag("INFO");
constexpr uint32_t kTrackTag = OIRFTag("TRAK");
// Behind a chunk's tag and length: its version, then its data.
constexpr size_t kChunkHeaderBytes = 12;
// The smallest track: a chunk header, a one-byte name padded to four, a key count and one key.
constexpr size_t kMinTrackBytes = kChunkHeaderBytes + 8 + 4 + Animation::kKeyBytes;
// INFO's data: frame count, frames per second, track count.
constexpr size_t kInfoBytes = 12;

bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Usable(const Quaternion& q)
{
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w) &&
           (q.x != 0.0f || q.y != 0.0f || q.z != 0.0f || q.w != 0.0f);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string TrackText(size_t index, const PString& bone)
{
    std::string text = "track " + std::to_string(index + 1);
    if (!bone.empty()) text += " (" + Quoted(bone.View()) + ")";
    return text;
}

// The rules every track keeps, whether read or about to be written; empty when it keeps them.
std::string CheckKeys(const AnimationTrack& track, size_t index, uint32_t frameCount)
{
    if (track.keys.empty()) return TrackText(index, track.bone) + " has no keys";
    for (size_t k = 0; k < track.keys.size(); ++k)
    {
        const AnimationKey& key = track.keys[k];
        const std::string where = "key " + std::to_string(k + 1) + " of " + TrackText(index, track.bone);
        if (key.frame >= frameCount)
            return where + " is at frame " + std::to_string(key.frame) + ", beyond the animation's " +
                   std::to_string(frameCount) + " frames";
        if (k > 0 && key.frame <= track.keys[k - 1].frame)
            return where + " is at frame " + std::to_string(key.frame) + ", not after the key before it";
        if (!Finite(key.position) || !Usable(key.orientation))
            return where + " holds a number that is no position or orientation";
    }
    return {};
}

std::string CheckName(const PString& bone, size_t index)
{
    if (bone.empty()) return TrackText(index, bone) + " names no bone";
    if (bone.View().size() > Animation::kMaxBoneName)
        return TrackText(index, PString()) + " names a bone of more than " + std::to_string(Animation::kMaxBoneName) +
               " characters";
    if (bone.View().find('\0') != std::string_view::npos)
        return TrackText(index, PString()) + " names a bone with a NUL";
    return {};
}

// The rules of the animation as a whole; empty when it keeps them.
std::string CheckHead(uint32_t frameCount, float framesPerSecond, size_t trackCount)
{
    if (frameCount == 0 || frameCount > Animation::kMaxFrames)
        return "it has " + std::to_string(frameCount) + " frames (1 to " + std::to_string(Animation::kMaxFrames) +
               " are allowed)";
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0.0f) return "its frame rate is not a positive number";
    if (trackCount == 0) return "it has no tracks";
    return {};
}

}  // namespace

std::string Animation::Check() const
{
    if (std::string why = CheckHead(frameCount, framesPerSecond, tracks.size()); !why.empty()) return why;
    std::unordered_set<PString> bones;
    for (size_t t = 0; t < tracks.size(); ++t)
    {
        if (std::string why = CheckName(tracks[t].bone, t); !why.empty()) return why;
        if (!bones.insert(tracks[t].bone).second)
            return TrackText(t, tracks[t].bone) + " names a bone an earlier track names";
        if (std::string why = CheckKeys(tracks[t], t, frameCount); !why.empty()) return why;
    }
    return {};
}

const AnimationTrack* Animation::FindTrack(const PString& bone) const
{
    for (const AnimationTrack& t : tracks)
        if (t.bone == bone) return &t;
    return nullptr;
}

bool Animation::Load(std::string_view path, std::string& reason)
{
    *this = Animation();
    // Only a regular file: a folder cannot be read, and a pipe would wait for a writer.
    if (!File::Exists(path))
    {
        reason = "there is no such file";
        return false;
    }
    if (!File::IsFile(path))
    {
        reason = "it is not a file";
        return false;
    }
    File file;
    if (file.Open(path, File::ModeRead) != File::Ok)
    {
        reason = "it cannot be opened";
        return false;
    }
    const int64_t size = file.Size();
    if (size < 0 || uint64_t(size) > kMaxFileBytes)
    {
        reason = "it is larger than an animation can be (" + std::to_string(kMaxFileBytes >> 20) + " MB)";
        return false;
    }
    MemoryFile in;
    if (!in.Open(file, path) || in.Size() != uint64_t(size))
    {
        reason = "it cannot be read to its end";
        return false;
    }
    return ReadForm(in, reason);
}

bool Animation::Read(const void* data, size_t size, std::string& reason)
{
    *this = Animation();
    if (size > kMaxFileBytes)
    {
        reason = "it is larger than an animation can be (" + std::to_string(kMaxFileBytes >> 20) + " MB)";
        return false;
    }
    MemoryFile in;
    in.Open(data, size, "animation");
    return ReadForm(in, reason);
}

bool Animation::ReadForm(MemoryFile& in, std::string& reason)
{
    auto fail = [&](std::string why) {
        *this = Animation();
        reason = std::move(why);
        return false;
    };
    uint32_t tag = 0, length = 0, form = 0;
    if (!in.Read(tag) || tag != OIRFTag("OIRF") || !in.Read(length) || !in.Read(form))
        return fail("it is not an animation file");
    if (form != kFormTag) return fail("it is an engine file of another kind (" + Quoted(OIRFTagText(form)) + ")");
    // The form ends exactly where the file does: a file cut short, or one with bytes after it, is refused.
    if (length != in.Size() - 8)
        return fail(length > in.Size() - 8
                        ? "it is cut short: it claims " + std::to_string(uint64_t(length) + 8) + " bytes but holds " +
                              std::to_string(in.Size())
                        : "it has " + std::to_string(in.Size() - 8 - length) + " bytes after its end");
    const size_t end = in.Size();

    OIRFChunk info;
    if (!OIRFFile::ReadChunk(in, info, end) || info.tag != kInfoTag)
        return fail("it does not begin with its " + Quoted("INFO") + " chunk");
    if (info.version != kVersion)
        return fail("its " + Quoted("INFO") + " chunk has version " + std::to_string(info.version) + ", not " +
                    std::to_string(kVersion));
    uint32_t trackCount = 0;
    if (info.end - info.dataStart != kInfoBytes || !in.Read(frameCount) || !in.Read(framesPerSecond) ||
        !in.Read(trackCount))
        return fail("its " + Quoted("INFO") + " chunk is not " + std::to_string(kInfoBytes) + " bytes of data");
    if (std::string why = CheckHead(frameCount, framesPerSecond, trackCount); !why.empty()) return fail(why);
    // Bounded by the bytes left before anything is made for them.
    if (trackCount > in.Remaining() / kMinTrackBytes)
        return fail("it claims " + std::to_string(trackCount) + " tracks but has room for " +
                    std::to_string(in.Remaining() / kMinTrackBytes));
    tracks.reserve(trackCount);
    std::unordered_set<PString> bones;
    for (size_t t = 0; t < trackCount; ++t)
    {
        OIRFChunk chunk;
        if (!OIRFFile::ReadChunk(in, chunk, end))
            return fail(in.Remaining() == 0
                            ? "it ends after " + std::to_string(t) + " of its " + std::to_string(trackCount) + " tracks"
                            : "the chunk of " + TrackText(t, PString()) + " is cut short");
        if (chunk.tag != kTrackTag)
            return fail("it holds a " + Quoted(OIRFTagText(chunk.tag)) + " chunk where " + TrackText(t, PString()) +
                        " should be");
        if (!ReadTrack(in, chunk, t, reason)) return fail(reason);
        if (!bones.insert(tracks.back().bone).second)
            return fail(TrackText(t, tracks.back().bone) + " names a bone an earlier track names");
    }
    if (in.Tell() != end) return fail("it holds more than its " + std::to_string(trackCount) + " tracks");
    return true;
}

bool Animation::ReadTrack(MemoryFile& in, const OIRFChunk& chunk, size_t index, std::string& reason)
{
    if (chunk.version != kVersion)
    {
        reason = "the chunk of " + TrackText(index, PString()) + " has version " + std::to_string(chunk.version) +
                 ", not " + std::to_string(kVersion);
        return false;
    }
    const std::string cut = "the chunk of " + TrackText(index, PString()) + " is cut short";
    // Every read below stays inside the chunk: its room is checked first.
    uint32_t nameLength = 0;
    if (chunk.end - in.Tell() < 4 || !in.Read(nameLength) || nameLength > chunk.end - in.Tell())
    {
        reason = cut;
        return false;
    }
    if (nameLength == 0 || nameLength > kMaxBoneName)
    {
        reason = nameLength == 0 ? TrackText(index, PString()) + " names no bone"
                                 : TrackText(index, PString()) + " names a bone of more than " +
                                       std::to_string(kMaxBoneName) + " characters";
        return false;
    }
    const size_t padded = MFS::PaddedSize(nameLength) - 4;
    if (padded > chunk.end - in.Tell())
    {
        reason = cut;
        return false;
    }
    const std::string_view name(reinterpret_cast<const char*>(in.Data() + in.Tell()), nameLength);
    for (size_t i = nameLength; i < padded; ++i)
        if (in.Data()[in.Tell() + i] != 0)
        {
            reason = "the bone name of " + TrackText(index, PString()) + " is not padded with zeros";
            return false;
        }
    AnimationTrack track;
    track.bone = PString(name);
    if (std::string why = CheckName(track.bone, index); !why.empty())
    {
        reason = why;
        return false;
    }
    in.Skip(padded);
    uint32_t keyCount = 0;
    if (chunk.end - in.Tell() < 4 || !in.Read(keyCount))
    {
        reason = cut;
        return false;
    }
    const size_t room = chunk.end - in.Tell();
    if (keyCount > room / kKeyBytes || room != size_t(keyCount) * kKeyBytes)
    {
        reason = TrackText(index, track.bone) + " claims " + std::to_string(keyCount) + " keys but its chunk holds " +
                 std::to_string(room) + " bytes of keys (" + std::to_string(kKeyBytes) + " a key)";
        return false;
    }
    track.keys.resize(keyCount);
    for (AnimationKey& key : track.keys)
    {
        in.Read(key.frame);
        in.Read(key.position.x);
        in.Read(key.position.y);
        in.Read(key.position.z);
        in.Read(key.orientation.x);
        in.Read(key.orientation.y);
        in.Read(key.orientation.z);
        in.Read(key.orientation.w);
    }
    if (std::string why = CheckKeys(track, index, frameCount); !why.empty())
    {
        reason = why;
        return false;
    }
    tracks.push_back(std::move(track));
    return true;
}

bool Animation::Write(File& file) const
{
    if (!Check().empty()) return false;
    OIRFWriteHeader header(file, kFormTag);
    bool ok = header.IsOk();
    {
        OIRFChunkWriter info(file, kInfoTag, kVersion);
        ok = ok && info.IsOk() && MFS::WriteU32(file, frameCount) && MFS::WriteF32(file, framesPerSecond) &&
             MFS::WriteU32(file, uint32_t(tracks.size()));
        ok = info.Finish() && ok;
    }
    for (const AnimationTrack& track : tracks)
    {
        OIRFChunkWriter chunk(file, kTrackTag, kVersion);
        ok = ok && chunk.IsOk() && MFS::WritePaddedString(file, track.bone.View()) &&
             MFS::WriteU32(file, uint32_t(track.keys.size()));
        for (const AnimationKey& k : track.keys)
            ok = ok && MFS::WriteU32(file, k.frame) && MFS::WriteF32(file, k.position.x) &&
                 MFS::WriteF32(file, k.position.y) && MFS::WriteF32(file, k.position.z) &&
                 MFS::WriteF32(file, k.orientation.x) && MFS::WriteF32(file, k.orientation.y) &&
                 MFS::WriteF32(file, k.orientation.z) && MFS::WriteF32(file, k.orientation.w);
        ok = chunk.Finish() && ok;
    }
    return header.Finish() && ok;
}

bool Animation::Save(std::string_view path) const
{
    if (!Check().empty()) return false;
    File file;
    if (file.Open(path, File::ModeWrite) != File::Ok) return false;
    const bool ok = Write(file);
    file.Close();
    return ok;
}

}  // namespace Orvo
