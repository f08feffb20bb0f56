#pragma once
// An animation as the engine keeps it: named bone tracks of keyed frames (a frame, the bone's position
// and orientation in its parent's frame), over a number of frames played at a rate. Its file is the
// engine's ".kin" form, an OIRF container of the form "KINM" (layout in engine/README.md).
//
// Files are untrusted: every count and length is checked against the bytes that hold it before anything
// is allocated or read, and a file that breaks any rule of the form is refused with the reason, for the
// user. What the reader accepts the writer writes back byte for byte; what it refuses the writer refuses.
#include "engine/OIRFFile.h"
#include "engine/PString.h"
#include "engine/Quaternion.h"
#include "engine/Vector.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

class File;
class MemoryFile;

struct AnimationKey
{
    uint32_t frame = 0;
    Vector3 position;
    Quaternion orientation;
};

struct AnimationTrack
{
    PString bone;
    std::vector<AnimationKey> keys;  // by rising frame
};

class Animation
{
public:
    static constexpr uint32_t kFormTag = OIRFTag("KINM");
    static constexpr uint32_t kVersion = 100;
    // Bounds of the form.
    static constexpr uint64_t kMaxFileBytes = uint64_t(64) << 20;
    static constexpr uint32_t kMaxFrames = uint32_t(1) << 20;
    static constexpr size_t kMaxBoneName = 255;
    static constexpr size_t kKeyBytes = 32;  // u32 frame, 3 floats position, 4 floats orientation

    uint32_t frameCount = 0;
    float framesPerSecond = 0.0f;
    std::vector<AnimationTrack> tracks;

    // Reads the bytes of a ".kin" file. False, with the reason and the animation left empty, when they
    // are not a well-formed animation.
    bool Read(const void* data, size_t size, std::string& reason);
    // Reads the file at `path` (through File: substitutions and the case-insensitive lookup apply). Only
    // a regular file of at most kMaxFileBytes is read.
    bool Load(std::string_view path, std::string& reason);

    // Empty when the animation keeps every rule of the form, else the first rule it breaks.
    std::string Check() const;
    // Writes the ".kin" form; false when the animation breaks a rule of the form (nothing is written
    // then) or a write fails.
    bool Write(File& file) const;
    bool Save(std::string_view path) const;

    // The track of that bone (names compared by identity), or null.
    const AnimationTrack* FindTrack(const PString& bone) const;

private:
    bool ReadForm(MemoryFile& in, std::string& reason);
    bool ReadTrack(MemoryFile& in, const OIRFChunk& chunk, size_t index, std::string& reason);
};

}  // namespace Orvo
