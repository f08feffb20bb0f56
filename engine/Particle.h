#pragma once
// The scene tree. An element has a name, a flag byte and the frame in which it was last culled; a
// particle is an element placed in its parent's frame (position, orientation) with children, an opacity
// and a bounding box. Particles do not own their children: the creator deletes a particle after
// unlinking it, or deletes a whole tree with DeleteTree.
//
// Kinds used by the meshes: bones (ParticleBone, with the rest frame they were made in), reference
// points and attachment points (named points of a structure), and the structure that carries them.
#include "engine/Bounds.h"
#include "engine/Matrix3.h"
#include "engine/PString.h"
#include "engine/Quaternion.h"
#include "engine/Transformation.h"
#include "engine/Vector.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Orvo {

class Display;
class ViewPoint;
struct ViewPort;

class Element
{
public:
    virtual ~Element() = default;

    const PString& GetName() const { return name_; }
    virtual void SetName(const PString& name) { name_ = name; }
    uint8_t GetFlags() const { return flags_; }
    void SetFlags(uint8_t flags) { flags_ = flags; }
    uint32_t GetLastCulledFrame() const { return lastCulledFrame_; }
    virtual void SetLastCulledFrame(uint32_t frame) { lastCulledFrame_ = frame; }

private:
    PString name_;
    uint8_t flags_ = 0;
    uint32_t lastCulledFrame_ = 0;
};

class Particle : public Element
{
public:
    Particle() = default;
    ~Particle() override;
    Particle(const Particle&) = delete;
    Particle& operator=(const Particle&) = delete;

    void AddChild(Particle* child);
    bool RemoveChild(Particle* child);
    const std::vector<Particle*>& GetChildren() const { return children_; }
    Particle* GetParent() const { return parent_; }
    // Deletes the particle and everything below it.
    static void DeleteTree(Particle* root);

    void SetPosition(const Vector3& p) { local_.position = p; }
    void SetOrientation(const Quaternion& q) { local_.orientation = q; }
    const Transformation& GetLocal() const { return local_; }
    // The particle's frame in the frame of the tree's root.
    Transformation GetGlobal() const;
    // Turns a position and an orientation given in the root's frame into this particle's frame.
    void GlobalToLocal(Vector3& position, Quaternion& orientation) const;

    // The box around the particle in its own frame; `visible` marks a box meant to be seen.
    void SetBoundingBox(const AxisBox& box, bool visible = false)
    {
        box_ = box;
        boxVisible_ = visible;
    }
    const AxisBox& GetBoundingBox() const { return box_; }
    bool IsBoundingBoxVisible() const { return boxVisible_; }
    // The sphere around the bounding box, in the root's frame (radius 0 for an empty box).
    Sphere GetGlobalBoundingSphere() const;

    virtual float GetOpacity() const { return opacity_; }
    virtual void SetOpacity(float opacity) { opacity_ = opacity; }

    // This particle or the first below it (depth first, children in order) with that name.
    Particle* FindByName(const PString& name);
    // Calls `visit` for this particle and every particle below it, depth first, children in order (however
    // deep the tree, without recursion). The tree must not change while it is walked.
    void EnumerateParticles(const std::function<void(Particle&)>& visit);
    // A copy of this particle and everything below it (names, frames, boxes, flags). Kinds that cannot
    // be copied this way answer null.
    virtual Particle* CreateInstance() const;
    // The kind of particle (mesh instances answer their own ids).
    virtual uint32_t GetID() const { return 0; }

    // Marks the particle and its children as culled in the view point's frame.
    virtual void Cull(ViewPoint& viewPoint, const Matrix4& matrix);
    virtual void Render(Display*, ViewPort&, Matrix4&) {}
    // Draws the particle's debug shapes into the published debug viewport, in the root's frame: a line from
    // its parent's origin to its own, the twelve edges of its bounding box when the box is meant to be seen,
    // and its name at its origin. Nothing without a viewport, or when the viewport wants no debug drawing.
    virtual void RenderDebug() const;
    // RenderDebug of this particle and of every particle below it.
    void RenderDebugTree();

protected:
    // Copies this particle's own state (not its children) into `copy`.
    void CopyInto(Particle& copy) const;

private:
    Particle* parent_ = nullptr;
    std::vector<Particle*> children_;
    Transformation local_;
    AxisBox box_;
    bool boxVisible_ = false;
    float opacity_ = 1.0f;
};

// A bone of a skeleton. Its frame position and orientation are the rest pose it was made in; setting
// them also places the bone there.
class ParticleBone : public Particle
{
public:
    void SetFramePosition(const Vector3& p)
    {
        frame_.position = p;
        SetPosition(p);
    }
    void SetFrameOrientation(const Quaternion& q)
    {
        frame_.orientation = q;
        SetOrientation(q);
    }
    const Transformation& GetFrame() const { return frame_; }
    Particle* CreateInstance() const override;

private:
    Transformation frame_;
};

// A named point of a structure. A point's name may carry a second name after a "#": GetSubNames
// splits "a.light#red" into "a.light" and "red" (the second is empty without a "#").
class ReferencePoint : public Particle
{
public:
    ReferencePoint(const PString& name, const Vector3& position, const Quaternion& orientation);
    static void GetSubNames(const PString& name, PString& first, PString& second);
    Particle* CreateInstance() const override;
};

// A point other objects are hung on; it keeps the second sub-name.
class AttachmentPoint : public ReferencePoint
{
public:
    AttachmentPoint(const PString& name, const PString& subName, const Vector3& position, const Quaternion& orientation)
        : ReferencePoint(name, position, orientation), subName_(subName)
    {}
    const PString& GetSubName() const { return subName_; }
    Particle* CreateInstance() const override;

private:
    PString subName_;
};

// A particle that carries reference and attachment points as children it owns.
class ParticleStructure : public Particle
{
public:
    ~ParticleStructure() override;
    void AddReferencePoint(ReferencePoint* point);
    // `underBone`: the point was given in the frame of a bone of the structure.
    void AddAttachmentPoint(AttachmentPoint* point, bool underBone);
    const std::vector<ReferencePoint*>& GetReferencePoints() const { return references_; }
    const std::vector<AttachmentPoint*>& GetAttachmentPoints() const { return attachments_; }

private:
    std::vector<ReferencePoint*> references_;
    std::vector<AttachmentPoint*> attachments_;
};

}  // namespace Orvo
