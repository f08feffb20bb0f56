#pragma once
// What the material families share:
//
// - ChunkListMaterial: the engine's three ways of drawing (a chunk, a list of chunks, some primitives of
//   a chunk) made into one list of chunk draws for the family's DrawChunks.
// - DuplicateMaterial: a new material of the class with the name, manager and caches of the one it copies,
//   which its InitInstance then gives the copied one's settings and textures.
// - SameMaterial: equality as IsEqual wants it, the same class and then the class's own Equals.
//
// A family's InitInstance and Equals take their own class and begin with their base's.
#include "engine/OneTextureMaterial.h"
#include "render/materials/BumpPasses.h"

#include <cstdint>
#include <typeinfo>
#include <utility>
#include <vector>

template <class Base>
class ChunkListMaterial : public Base
{
public:
    using Base::Base;

    void RenderChunk(Orvo::Display* display, Orvo::ViewPort* viewport, Orvo::GeometryChunk* chunk,
                     const Orvo::LightList* lights, const Orvo::Matrix4& transform, int) override
    {
        const ChunkDraw draw = OneDraw(chunk, lights, transform);
        DrawChunks(display, viewport, &draw, chunk ? 1 : 0);
    }
    void RenderNumChunks(Orvo::Display* display, Orvo::ViewPort* viewport, Orvo::GeometryChunk* const* chunks,
                         const Orvo::LightList* const* lights, const Orvo::Matrix4* transforms, uint32_t count,
                         int) override
    {
        std::vector<ChunkDraw> draws(count);
        for (uint32_t i = 0; i < count; ++i)
        {
            draws[i].chunk = chunks[i];
            draws[i].lights = lights ? lights[i] : nullptr;
            draws[i].transform = transforms[i];
        }
        DrawChunks(display, viewport, draws.data(), count);
    }
    void RenderPrimitives(Orvo::Display* display, Orvo::ViewPort* viewport, Orvo::GeometryChunk* chunk,
                          const Orvo::LightList* lights, const Orvo::Matrix4& transform, uint32_t indexCount,
                          const uint16_t* indices, uint32_t primitiveCount, uint32_t primitiveKind, int) override
    {
        ChunkDraw draw = OneDraw(chunk, lights, transform);
        draw.indices = indices;
        draw.indexCount = indexCount;
        draw.primitiveCount = primitiveCount;
        draw.primitiveKind = primitiveKind;
        DrawChunks(display, viewport, &draw, chunk ? 1 : 0);
    }

protected:
    // Draws `count` chunks (passing over null ones), the display state set once around them all.
    virtual void DrawChunks(Orvo::Display* display, Orvo::ViewPort* viewport, const ChunkDraw* draws,
                            uint32_t count) = 0;

private:
    static ChunkDraw OneDraw(Orvo::GeometryChunk* chunk, const Orvo::LightList* lights, const Orvo::Matrix4& transform)
    {
        ChunkDraw draw;
        draw.chunk = chunk;
        draw.lights = lights;
        draw.transform = transform;
        return draw;
    }
};

template <class T, class... Args>
T* DuplicateMaterial(const T& from, Args&&... args)
{
    T* copy = new T(from.GetName(), from.GetMaterialManager(), from.GetMaterialChunkCache(), from.GetAlphaMaskCache(),
                    from.GetAlphaBlendCache(), std::forward<Args>(args)...);
    copy->InitInstance(from);
    return copy;
}

template <class T>
bool SameMaterial(const T& self, const Orvo::Material& other)
{
    return typeid(other) == typeid(self) && self.Equals(static_cast<const T&>(other));
}
