// The CPU cost of the materials per chunk on the recording display (what a real display's own cost
// would be added to): making a material and its chunk through the material factory, and submitting a
// frame of chunks (RenderChunk one by one, RenderNumChunks in one call, and through the sorted alpha-blend
// cache, near chunks with their triangles sorted), for each family, in ns per chunk. Frames are
// submitted with the display's record on (every state change and draw written as a line) and off (the
// materials' own work: lights, constants, state saved and put back, the cache's sorting).
// Usage: bench_materials [chunks per frame, default 2000] [frames, default 20]
#include "engine/Display.h"
#include "engine/DisplayLight.h"
#include "engine/MaterialManager.h"
#include "engine/OS.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/TextureManager.h"
#include "engine/ViewPoint.h"
#include "render/materials/VelmarAlphaBlendCache.h"
#include "render/materials/VelmarMaterialPlugins.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Orvo;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A grid chunk of `cells` x `cells` x 2 triangles, made by the material.
GeometryChunk* Grid(Material& m, uint32_t cells)
{
    const uint32_t side = cells + 1, triangles = cells * cells * 2;
    GeometryChunk* chunk = m.CreateGeometryChunk(side * side, triangles, triangles * 3, 0, 0, StandardChunkHint());
    const VertexItemPtr p = chunk->GetItem(ItemPosition);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
        {
            const float xyz[3] = {float(x), float(y), 0.0f};
            std::memcpy(p.address + size_t(y * side + x) * p.stride, xyz, sizeof xyz);
        }
    uint16_t* out = chunk->GetIndexArray();
    for (uint32_t y = 0; y < cells; ++y)
        for (uint32_t x = 0; x < cells; ++x)
        {
            const uint16_t a = uint16_t(y * side + x), c = uint16_t(a + side);
            for (uint16_t i : {a, uint16_t(a + 1), c, uint16_t(a + 1), uint16_t(c + 1), c}) *out++ = i;
        }
    return chunk;
}

}  // namespace

int main(int argc, char** argv)
{
    const int chunks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;

    OS os("VelmarUtil", "-render=OpenGL -hidewindow -LogFile=/dev/null ");
    if (!os.Init()) return 1;
    RenderKernel kernel(nullptr, 1.0f);
    if (!kernel.Init(&os, nullptr)) return 1;
    kernel.GetDisplay()->SetCapability(Display::CapReflection, true);
    RegisterMaterialPlugins([](PluginType* t) { PluginBase::RegisterPluginType(t); });
    AutoReference<VelmarAlphaBlendCache> sorted(new VelmarAlphaBlendCache());
    kernel.GetRenderingCacheManager().AddCache(sorted.Get());
    Display& display = *kernel.GetDisplay();
    MaterialManager& manager = kernel.GetMaterialManager();

    Camera camera;
    ViewPort viewport{1, &camera};
    DisplayLight parallel(DisplayLight::Parallel), spot(DisplayLight::Spot);
    spot.SetPosition({0, 0, 10});
    LightList lights;
    lights.Add(&parallel);
    lights.Add(&spot);

    std::printf("%d chunks of 32 triangles a frame, %d frames; ns per chunk\n", chunks, frames);
    std::printf("%-16s %8s %10s %10s %10s %10s %8s\n", "family", "make", "recorded", "chunk", "batch", "sorted",
                "lines");
    for (const char* type : {"tbumptex", "tbumpcoltex", "tbumpglosscol", "tbumpenv", "tbumpgloss", "tgroundonetex",
                             "tgroundonetexvs", "tonetexnoalpha", "tglossrust", "tmpfx", "nofogtex"})
    {
        const std::string name = std::string("bench.m.") + type;
        std::vector<AutoReference<Material>> materials;
        std::vector<AutoReference<GeometryChunk>> grid;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < chunks; ++i)
        {
            Material* m = manager.CreateMaterial(PString(name));
            if (m == nullptr) return 1;
            materials.emplace_back(m);
            m->Release();
            grid.emplace_back(Grid(*m, 4));
            // A gloss, environment or reflection map with full strength, so that every family draws.
            DisplayTexture* map = SharedTextureCollection::GetTexture(1, manager.GetTextureManager());
            m->SetTexture(9, map, 1.0f);
            map->Release();
        }
        const double make = Seconds(start) * 1e9 / chunks;

        std::vector<Matrix4> transforms(chunks);
        for (int i = 0; i < chunks; ++i) transforms[i].m[3][2] = float(50 + (i * 7) % 900);
        display.ClearRecord();
        start = std::chrono::steady_clock::now();
        size_t lines = 0;
        for (int f = 0; f < frames; ++f)
        {
            for (int i = 0; i < chunks; ++i)
                materials[i]->RenderChunk(&display, &viewport, grid[i].Get(), &lights, transforms[i], -1);
            lines += display.GetRecord().size();
            display.ClearRecord();
        }
        const double recorded = Seconds(start) * 1e9 / (double(chunks) * frames);

        display.SetRecording(false);
        start = std::chrono::steady_clock::now();
        for (int f = 0; f < frames; ++f)
            for (int i = 0; i < chunks; ++i)
                materials[i]->RenderChunk(&display, &viewport, grid[i].Get(), &lights, transforms[i], -1);
        const double single = Seconds(start) * 1e9 / (double(chunks) * frames);

        std::vector<GeometryChunk*> chunkPointers;
        std::vector<const LightList*> lightPointers(chunks, &lights);
        for (auto& c : grid) chunkPointers.push_back(c.Get());
        start = std::chrono::steady_clock::now();
        for (int f = 0; f < frames; ++f)
        {
            materials[0]->RenderNumChunks(&display, &viewport, chunkPointers.data(), lightPointers.data(),
                                          transforms.data(), uint32_t(chunks), -1);
            display.ClearRecord();
        }
        const double batch = Seconds(start) * 1e9 / (double(chunks) * frames);

        start = std::chrono::steady_clock::now();
        for (int f = 0; f < frames; ++f)
        {
            for (int i = 0; i < chunks; ++i)
                sorted->AddPrimitive(&display, &viewport, materials[i].Get(), grid[i].Get(), &lights, transforms[i]);
            sorted->Render(&display, &viewport);
            display.ClearRecord();
        }
        const double cached = Seconds(start) * 1e9 / (double(chunks) * frames);
        display.SetRecording(true);
        std::printf("%-16s %8.0f %10.0f %10.0f %10.0f %10.0f %8.1f\n", type, make, recorded, single, batch, cached,
                    double(lines) / (double(chunks) * frames));
    }
    return 0;
}
