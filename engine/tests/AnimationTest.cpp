// Animations: the ".kin" form written and read back, a file made by hand byte for byte, every rule of the
// form refused with its reason (cut short anywhere, counts beyond the data, random bytes), and the
// animator's four answers against a skeleton of bones.
#include "engine/Animation.h"
#include "engine/Animator.h"
#include "engine/File.h"
#include "engine/Particle.h"
#include "engine/ResourceDatabase.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

using namespace Orvo;

namespace {

// Little-endian bytes built by hand, independently of the writer.
struct Bytes
{
    std::string data;
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) data.push_back(char(v >> (8 * i)));
        return *this;
    }
    Bytes& F32(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Bytes& Tag(const char* t)
    {
        data.append(t, 4);
        return *this;
    }
    Bytes& Str(const std::string& s)
    {
        U32(uint32_t(s.size()));
        data += s;
        data.append((4 - s.size() % 4) % 4, '\0');
        return *this;
    }
    Bytes& Key(uint32_t frame, float x, float qz, float qw)
    {
        return U32(frame).F32(x).F32(0).F32(0).F32(0).F32(0).F32(qz).F32(qw);
    }
};

// A door of 50 frames at 25 a second: the hinge turns a quarter, the handle stays.
const std::string kDoor = Bytes()
                              .Tag("OIRF")
                              .U32(4 + 24 + 92 + 60)
                              .Tag("KINM")
                              .Tag("INFO")
                              .U32(16)
                              .U32(100)
                              .U32(50)
                              .F32(25.0f)
                              .U32(2)
                              .Tag("TRAK")
                              .U32(84)
                              .U32(100)
                              .Str("hinge")
                              .U32(2)
                              .Key(0, 0, 0, 1)
                              .Key(49, 0, 0.70710677f, 0.70710677f)
                              .Tag("TRAK")
                              .U32(52)
                              .U32(100)
                              .Str("handle")
                              .U32(1)
                              .Key(0, 0.5f, 0, 1)
                              .data;

Animation Door()
{
    Animation a;
    a.frameCount = 50;
    a.framesPerSecond = 25.0f;
    a.tracks.push_back({PString("hinge"), {{0, {}, {}}, {49, {}, {0, 0, 0.70710677f, 0.70710677f}}}});
    a.tracks.push_back({PString("handle"), {{0, {0.5f, 0, 0}, {}}}});
    return a;
}

std::string Refusal(const std::string& bytes)
{
    Animation a;
    std::string reason;
    EXPECT_FALSE(a.Read(bytes.data(), bytes.size(), reason));
    EXPECT_TRUE(a.tracks.empty());
    EXPECT_EQ(a.frameCount, 0u);
    return reason;
}

void Put(std::string& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = char(v >> (8 * i));
}

}  // namespace

TEST(AnimationFile, HandMadeBytesReadAndTheWriterWritesThemBack)
{
    Animation read;
    std::string reason;
    ASSERT_TRUE(read.Read(kDoor.data(), kDoor.size(), reason)) << reason;
    EXPECT_EQ(read.frameCount, 50u);
    EXPECT_EQ(read.framesPerSecond, 25.0f);
    ASSERT_EQ(read.tracks.size(), 2u);
    EXPECT_EQ(read.tracks[0].bone, PString("hinge"));
    ASSERT_EQ(read.tracks[0].keys.size(), 2u);
    EXPECT_EQ(read.tracks[0].keys[1].frame, 49u);
    EXPECT_EQ(read.tracks[0].keys[1].orientation, Quaternion(0, 0, 0.70710677f, 0.70710677f));
    EXPECT_EQ(read.tracks[1].keys[0].position, Vector3(0.5f, 0, 0));
    EXPECT_EQ(read.FindTrack(PString("handle")), &read.tracks[1]);
    EXPECT_EQ(read.FindTrack(PString("Handle")), nullptr);

    ScratchFolder folder;
    ASSERT_TRUE(Door().Save(folder / "door.kin"));
    std::string written;
    ASSERT_TRUE(File::ReadFile(folder / "door.kin", written));
    EXPECT_EQ(written, kDoor);
    Animation loaded;
    ASSERT_TRUE(loaded.Load(folder / "DOOR.KIN", reason)) << reason;  // names in any case, as assets give them
    EXPECT_EQ(loaded.tracks.size(), 2u);

    // What the reader would refuse is not written.
    Animation bad = Door();
    bad.tracks[1].bone = PString("hinge");
    EXPECT_FALSE(bad.Save(folder / "bad.kin"));
    EXPECT_FALSE(File::Exists(folder / "bad.kin"));
}

TEST(AnimationFile, EveryRuleIsRefusedWithItsReason)
{
    auto changed = [](size_t at, uint32_t v) {
        std::string b = kDoor;
        Put(b, at, v);
        return b;
    };
    const size_t info = 12, track1 = 36, track2 = 36 + 92;
    std::string twice = kDoor;  // the second track names the first one's bone
    Put(twice, track2 + 12, 5);
    twice.replace(track2 + 16, 6, std::string("hinge\0", 6));
    const float nan = std::nanf("");
    uint32_t nanBits;
    std::memcpy(&nanBits, &nan, 4);
    const struct
    {
        std::string bytes;
        std::string reason;
    } cases[] = {
        {"", "it is not an animation file"},
        {std::string("OIRF\x04\0\0\0IDXM", 12), "it is an engine file of another kind (\"IDXM\")"},
        {kDoor.substr(0, 100), "it is cut short: it claims 188 bytes but holds 100"},
        {kDoor + "xyz", "it has 3 bytes after its end"},
        {changed(info + 8, 7), "its \"INFO\" chunk has version 7, not 100"},
        {changed(info + 12, 0), "it has 0 frames (1 to 1048576 are allowed)"},
        {changed(info + 16, nanBits), "its frame rate is not a positive number"},
        {changed(info + 20, 0), "it has no tracks"},
        // Counts beyond the data are refused before anything is made for them.
        {changed(info + 20, 0xFFFFFFFFu), "it claims 4294967295 tracks but has room for 2"},
        {changed(info + 20, 3), "it claims 3 tracks but has room for 2"},
        {changed(track1 + 24, 0x7FFFFFFFu), "track 1 (\"hinge\") claims 2147483647 keys but its chunk holds 64 bytes "
                                            "of keys (32 a key)"},
        {changed(track1 + 8, 9), "the chunk of track 1 has version 9, not 100"},
        {changed(track1 + 12, 0), "track 1 names no bone"},
        {changed(track1 + 12, 0xFFFFFFF0u), "the chunk of track 1 is cut short"},
        {changed(track1 + 12, 1), "the bone name of track 1 is not padded with zeros"},
        {changed(track1 + 12, 6), "track 1 names a bone with a NUL"},
        {twice, "track 2 (\"hinge\") names a bone an earlier track names"},
        {changed(track1 + 28 + 32, 50),
         "key 2 of track 1 (\"hinge\") is at frame 50, beyond the animation's 50 frames"},
        {changed(track1 + 28 + 32, 0), "key 2 of track 1 (\"hinge\") is at frame 0, not after the key before it"},
        {changed(track1 + 28 + 4, nanBits),
         "key 1 of track 1 (\"hinge\") holds a number that is no position or orientation"},
        {changed(track1 + 28 + 28, 0),
         "key 1 of track 1 (\"hinge\") holds a number that is no position or orientation"},
        {changed(track2, 0x4C4D5441u /* "ATML" */), "it holds a \"ATML\" chunk where track 2 should be"},
    };
    for (const auto& c : cases) EXPECT_EQ(Refusal(c.bytes), c.reason) << c.reason;

    // The chunk lengths as well: a track whose chunk claims more than the form holds.
    EXPECT_EQ(Refusal(changed(track2 + 4, 1000)), "the chunk of track 2 is cut short");
}

TEST(AnimationFile, AnyBytesAreRefusedWithoutHarm)
{
    // Every length the file can be cut to, and every byte changed in turn to each of a few values: a
    // refusal with a reason, or (for a changed number) an animation that keeps the form's rules.
    for (size_t n = 0; n < kDoor.size(); ++n) EXPECT_FALSE(Refusal(kDoor.substr(0, n)).empty()) << n;
    for (size_t at = 0; at < kDoor.size(); ++at)
        for (uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF})
        {
            std::string b = kDoor;
            b[at] = char(v);
            Animation a;
            std::string reason;
            if (a.Read(b.data(), b.size(), reason))
                EXPECT_EQ(a.Check(), "") << at;
            else
                EXPECT_FALSE(reason.empty()) << at;
        }
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i)
    {
        std::string b(random() % 300, '\0');
        for (char& c : b) c = char(random());
        if (i % 2) b.replace(0, std::min<size_t>(b.size(), 12), kDoor.substr(0, std::min<size_t>(b.size(), 12)));
        Animation a;
        std::string reason;
        EXPECT_FALSE(a.Read(b.data(), b.size(), reason) && !a.Check().empty());
    }

    ScratchFolder folder;
    std::string reason;
    Animation a;
    EXPECT_FALSE(a.Load(folder / "gone.kin", reason));
    EXPECT_EQ(reason, "there is no such file");
    EXPECT_FALSE(a.Load(folder.path, reason));
    EXPECT_EQ(reason, "it is not a file");
}

TEST(Animator, AnswersByFileAndSkeleton)
{
    ScratchFolder folder;
    ASSERT_TRUE(Door().Save(folder / "door.kin"));
    File::WriteFile(folder / "noise.kin", "not an animation");
    Animation lever = Door();
    lever.tracks[1].bone = PString("lever");
    ASSERT_TRUE(lever.Save(folder / "lever.kin"));

    // A mesh particle with a skeleton below an instance: hinge, and the handle on it.
    Particle mesh, instance;
    auto* hinge = new ParticleBone();
    hinge->SetName(PString("hinge"));
    auto* handle = new ParticleBone();
    handle->SetName(PString("handle"));
    hinge->AddChild(handle);
    instance.AddChild(hinge);
    mesh.AddChild(&instance);
    SkeletonModifier skeleton(&mesh, nullptr, 0.5f);
    EXPECT_EQ(skeleton.GetBones().size(), 2u);
    EXPECT_EQ(skeleton.FindBone(PString("handle")), handle);

    ResourceDatabase paths{PString(), nullptr};
    Animator animator(nullptr, &paths, &skeleton);
    const AnimationWeights weights = {0, 1, 0, 0, 0, 1};
    AnimationModifier* made = nullptr;
    EXPECT_EQ(animator.Add(folder / "door.kin", 5, weights, &made), Animator::AddOk);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetFrameCount(), 50u);
    EXPECT_EQ(made->GetFlags(), 5u);
    EXPECT_EQ(made->GetWeights(), weights);
    ASSERT_EQ(skeleton.GetAnimations().size(), 1u);
    EXPECT_EQ(skeleton.GetAnimations()[0].get(), made);

    EXPECT_EQ(animator.Add(folder / "lever.kin", 5, weights), Animator::AddSkeletonMismatch);
    EXPECT_EQ(animator.GetLastError(), "it moves the bone \"lever\", which its mesh lacks");
    EXPECT_EQ(animator.Add(folder / "noise.kin", 5, weights), Animator::AddResourceFailed);
    EXPECT_EQ(animator.GetLastError(), "it is not an animation file");
    EXPECT_EQ(animator.Add(folder / "gone.kin", 5, weights), Animator::AddResourceFailed);
    EXPECT_EQ(skeleton.GetAnimations().size(), 1u);

    // No bones to drive, or nothing observed: the file is still read first.
    Particle plain;
    SkeletonModifier none(&plain, nullptr, 0.5f);
    Animator boneless(nullptr, &paths, &none);
    EXPECT_EQ(boneless.Add(folder / "door.kin", 5, weights), Animator::AddObserverFailed);
    EXPECT_EQ(boneless.GetLastError(), "its mesh has no bones");
    EXPECT_EQ(boneless.Add(folder / "noise.kin", 5, weights), Animator::AddResourceFailed);
    EXPECT_EQ(Animator(nullptr, &paths, nullptr).Add(folder / "door.kin", 5, weights), Animator::AddObserverFailed);

    std::unique_ptr<AnimationModifier> modifier(AnimationModifier::CreateInstance(&paths, folder / "door.kin", 5));
    ASSERT_NE(modifier, nullptr);
    EXPECT_EQ(modifier->GetFrameCount(), 50u);
    std::string reason;
    EXPECT_EQ(AnimationModifier::CreateInstance(&paths, folder / "noise.kin", 5, &reason), nullptr);
    EXPECT_EQ(reason, "it is not an animation file");

    mesh.RemoveChild(&instance);
    instance.RemoveChild(hinge);
    Particle::DeleteTree(hinge);
}

TEST(Particle, EnumerateParticlesWalksDepthFirst)
{
    Particle root;
    root.SetName(PString("root"));
    std::vector<Particle*> made;
    auto add = [&](Particle& parent, const char* name) {
        auto* p = new Particle();
        p->SetName(PString(name));
        parent.AddChild(p);
        made.push_back(p);
        return p;
    };
    Particle* a = add(root, "a");
    add(*a, "a1");
    add(root, "b");
    std::string order;
    root.EnumerateParticles([&](Particle& p) { order += p.GetName().str() + " "; });
    EXPECT_EQ(order, "root a a1 b ");
    for (auto it = made.rbegin(); it != made.rend(); ++it) delete *it;
}
