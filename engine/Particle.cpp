#include "engine/Particle.h"

#include "engine/DebugViewport.h"
#include "engine/ViewPoint.h"

#include <algorithm>
#include <cmath>

namespace Orvo {

Particle::~Particle()
{
    if (parent_ != nullptr) parent_->RemoveChild(this);
    for (Particle* child : children_) child->parent_ = nullptr;
}

void Particle::AddChild(Particle* child)
{
    if (child == nullptr || child == this || child->parent_ == this) return;
    // A particle never becomes a child of its own descendant.
    for (const Particle* p = parent_; p != nullptr; p = p->parent_)
        if (p == child) return;
    if (child->parent_ != nullptr) child->parent_->RemoveChild(child);
    child->parent_ = this;
    children_.push_back(child);
}

bool Particle::RemoveChild(Particle* child)
{
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end()) return false;
    (*it)->parent_ = nullptr;
    children_.erase(it);
    return true;
}

void Particle::DeleteTree(Particle* root)
{
    if (root == nullptr) return;
    // Iteratively, so a deep skeleton cannot exhaust the stack.
    std::vector<Particle*> pending{root};
    if (root->parent_) root->parent_->RemoveChild(root);
    while (!pending.empty())
    {
        Particle* p = pending.back();
        pending.pop_back();
        for (Particle* child : p->children_)
        {
            child->parent_ = nullptr;
            pending.push_back(child);
        }
        p->children_.clear();
        delete p;
    }
}

Transformation Particle::GetGlobal() const
{
    Transformation global = local_;
    for (const Particle* p = parent_; p != nullptr; p = p->parent_) global = global.Within(p->local_);
    return global;
}

void Particle::GlobalToLocal(Vector3& position, Quaternion& orientation) const
{
    const Transformation inverse = GetGlobal().Inverse();
    position = inverse.Apply(position);
    orientation = orientation.Then(inverse.orientation);
}

Sphere Particle::GetGlobalBoundingSphere() const
{
    Sphere s;
    const Transformation global = GetGlobal();
    if (box_.IsEmpty())
    {
        s.centre = global.position;
        return s;
    }
    s.centre = global.Apply(box_.Centre());
    s.radius = box_.Size().Length() * 0.5f;
    return s;
}

Particle* Particle::FindByName(const PString& name)
{
    std::vector<Particle*> pending{this};
    while (!pending.empty())
    {
        Particle* p = pending.back();
        pending.pop_back();
        if (p->GetName() == name) return p;
        for (auto it = p->children_.rbegin(); it != p->children_.rend(); ++it) pending.push_back(*it);
    }
    return nullptr;
}

void Particle::EnumerateParticles(const std::function<void(Particle&)>& visit)
{
    std::vector<Particle*> pending{this};
    while (!pending.empty())
    {
        Particle* p = pending.back();
        pending.pop_back();
        visit(*p);
        for (auto it = p->children_.rbegin(); it != p->children_.rend(); ++it) pending.push_back(*it);
    }
}

void Particle::CopyInto(Particle& copy) const
{
    copy.SetName(GetName());
    copy.SetFlags(GetFlags());
    copy.local_ = local_;
    copy.box_ = box_;
    copy.boxVisible_ = boxVisible_;
    copy.opacity_ = opacity_;
}

Particle* Particle::CreateInstance() const
{
    auto* copy = new Particle();
    CopyInto(*copy);
    for (const Particle* child : children_)
    {
        Particle* c = child->CreateInstance();
        if (c) copy->AddChild(c);
    }
    return copy;
}

void Particle::Cull(ViewPoint& viewPoint, const Matrix4& matrix)
{
    SetLastCulledFrame(viewPoint.GetFrame());
    for (Particle* child : children_) child->Cull(viewPoint, child->local_.ToMatrix() * matrix);
}

void Particle::RenderDebug() const
{
    DebugViewport* viewport = GetDebugViewport();
    if (viewport == nullptr || !viewport->IsEnabled()) return;
    const Transformation global = GetGlobal();
    if (parent_ != nullptr) viewport->DrawLine(parent_->GetGlobal().position, global.position, kDebugLinkColour);
    if (boxVisible_ && !box_.IsEmpty())
    {
        // Corner i takes the high x, y, z where bits 0, 1, 2 of i are set; an edge joins corners that differ
        // in one bit.
        Vector3 corners[8];
        for (int i = 0; i < 8; ++i)
            corners[i] = global.Apply({(i & 1) ? box_.high.x : box_.low.x, (i & 2) ? box_.high.y : box_.low.y,
                                       (i & 4) ? box_.high.z : box_.low.z});
        for (int i = 0; i < 8; ++i)
            for (int bit = 1; bit < 8; bit <<= 1)
                if ((i & bit) == 0) viewport->DrawLine(corners[i], corners[i | bit], kDebugBoxColour);
    }
    if (!GetName().empty()) viewport->DrawText(global.position, GetName().View(), kDebugNameColour);
}

void Particle::RenderDebugTree()
{
    EnumerateParticles([](Particle& p) { p.RenderDebug(); });
}

Particle* ParticleBone::CreateInstance() const
{
    auto* copy = new ParticleBone();
    CopyInto(*copy);
    copy->frame_ = frame_;
    for (const Particle* child : GetChildren())
    {
        Particle* c = child->CreateInstance();
        if (c) copy->AddChild(c);
    }
    return copy;
}

ReferencePoint::ReferencePoint(const PString& name, const Vector3& position, const Quaternion& orientation)
{
    SetName(name);
    SetPosition(position);
    SetOrientation(orientation);
}

void ReferencePoint::GetSubNames(const PString& name, PString& first, PString& second)
{
    const std::string_view text = name.View();
    const size_t mark = text.find('#');
    first = PString(text.substr(0, mark));
    second = mark == std::string_view::npos ? PString() : PString(text.substr(mark + 1));
}

Particle* ReferencePoint::CreateInstance() const
{
    auto* copy = new ReferencePoint(GetName(), GetLocal().position, GetLocal().orientation);
    CopyInto(*copy);
    return copy;
}

Particle* AttachmentPoint::CreateInstance() const
{
    auto* copy = new AttachmentPoint(GetName(), subName_, GetLocal().position, GetLocal().orientation);
    CopyInto(*copy);
    return copy;
}

ParticleStructure::~ParticleStructure()
{
    for (ReferencePoint* p : references_) delete p;
    for (AttachmentPoint* p : attachments_) delete p;
}

void ParticleStructure::AddReferencePoint(ReferencePoint* point)
{
    if (point == nullptr) return;
    references_.push_back(point);
    AddChild(point);
}

void ParticleStructure::AddAttachmentPoint(AttachmentPoint* point, bool)
{
    if (point == nullptr) return;
    attachments_.push_back(point);
    AddChild(point);
}

}  // namespace Orvo
