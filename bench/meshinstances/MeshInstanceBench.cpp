// Rays against a mesh of about 100,000 triangles (four chunks of a wavy grid, loaded through its mesh
// resource): through the instance without a collision tree (every triangle tested), through the instance
// with the tree its definition builds in the background, through the tree directly, beside a plain loop
// over the same triangles and beside Intel Embree. Then skinned vertices per second, in software and the
// hardware path (palette matrices only).
// Usage: bench_meshinstances [rays for the tree and Embree, default 200000] [frames of skinning, default 200]
#include "engine/Display.h"
#include "engine/File.h"
#include "engine/OS.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "render/OverlappedResource.h"
#include "render/VLAxisBoxTree.h"
#include "render/VelmarDynamicIndexedMeshInstance.h"
#include "render/VelmarMeshResources.h"
#include "render/VelmarResourceDatabase.h"
#include "render/tests/MeshFileBuilder.h"

#include <embree3/rtcore.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace Orvo;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

float Height(float x, float y) { return std::sin(x * 0.3f) * std::cos(y * 0.2f); }

// A grid chunk of cells x cells x 2 triangles starting at x = `offset`; with `weights` per vertex.
void WriteGrid(Bytes& b, uint32_t cells, float offset, uint32_t weights)
{
    const uint32_t side = cells + 1, vertices = side * side, triangles = cells * cells * 2;
    const size_t chnk = b.Begin("CHNK", 100);
    b.U32(0);
    const size_t matl = b.Begin("MATL", 103);
    b.Str("ground.m.onetex").U32(0).U32(1).F32(1.0f);
    for (int c = 0; c < 12; ++c) b.F32(0.5f);
    b.F32(20.0f).U32(0);
    b.End(matl);
    const size_t geom = b.Begin("GEOM", 200);
    b.U32(4).F32(1.0f).U32(vertices).U32(triangles).U32(triangles * 3).U32(triangles).U32(weights).Str("grid");
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
            b.Floats({float(x) + offset, float(y), Height(float(x) + offset, float(y)), 0, 0});
    for (uint32_t y = 0; y < cells; ++y)
        for (uint32_t x = 0; x < cells; ++x)
        {
            const uint16_t a = uint16_t(y * side + x), c = uint16_t(a + side);
            b.U16(a).U16(uint16_t(a + 1)).U16(c).U16(uint16_t(a + 1)).U16(uint16_t(c + 1)).U16(c);
        }
    for (uint32_t v = 0; v < vertices; ++v) b.Floats({0, 0, 1});
    for (uint32_t t = 0; t < triangles; ++t) b.Floats({0, 0, 1});
    b.End(geom);
    b.End(chnk);
}

Bytes Ground(uint32_t chunks, uint32_t cells)
{
    Bytes b;
    const size_t form = b.Form("IDXM");
    const size_t info = b.Begin("INFO", 100);
    b.Floats({0, 0, 0, 0, 0, 0, 1}).U32(chunks);
    b.End(info);
    for (uint32_t c = 0; c < chunks; ++c) WriteGrid(b, cells, float(c * cells), 0);
    b.End(form);
    return b;
}

// One grid chunk skinned by a chain of four bones along y; every vertex weighed by two of them.
Bytes Skinned(uint32_t cells)
{
    const uint32_t side = cells + 1, vertices = side * side;
    Bytes b;
    const size_t form = b.Form("IDXM");
    const size_t info = b.Begin("INFO", 102);
    b.Floats({0, 0, 0, 0, 0, 0, 1}).U32(1).U32(2).U32(4);
    b.End(info);
    WriteGrid(b, cells, 0, 2);
    const size_t infl = b.Begin("INFL", 100);
    b.U32(4);
    const float step = float(cells) / 4.0f;
    for (uint32_t bone = 0; bone < 4; ++bone)
    {
        b.Str("b" + std::to_string(bone)).Str(bone == 0 ? "" : "b" + std::to_string(bone - 1));
        b.Floats({0, bone == 0 ? 0.0f : step, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).U32(1);
        std::vector<uint32_t> mine;
        for (uint32_t v = 0; v < vertices; ++v)
            if (v % 4 == bone || (v + 3) % 4 == bone) mine.push_back(v);
        b.U32(0).U32(uint32_t(mine.size()));
        for (uint32_t v : mine)
        {
            const float x = float(v % side), y = float(v / side) - step * float(bone);
            b.U32(v).Floats({v % 4 == bone ? 0.6f : 0.4f, x, y, 0});
        }
    }
    b.End(infl);
    b.End(form);
    return b;
}

struct Triangle
{
    Vector3 a, b, c;
};

// The ray against every triangle (Moeller-Trumbore, two-sided): the nearest distance, or -1.
float BruteForce(const std::vector<Triangle>& triangles, const Vector3& o, const Vector3& d)
{
    float best = std::numeric_limits<float>::max();
    for (const Triangle& t : triangles)
    {
        const Vector3 e1 = t.b - t.a, e2 = t.c - t.a, p = d.Cross(e2);
        const float det = e1.Dot(p);
        if (std::fabs(det) < 1e-6f) continue;
        const float inv = 1.0f / det;
        const Vector3 s = o - t.a;
        const float u = s.Dot(p) * inv;
        if (u < 0 || u > 1) continue;
        const Vector3 q = s.Cross(e1);
        const float v = d.Dot(q) * inv;
        if (v < 0 || u + v > 1) continue;
        const float dist = e2.Dot(q) * inv;
        if (dist >= 0 && dist < best) best = dist;
    }
    return best == std::numeric_limits<float>::max() ? -1.0f : best;
}

struct Environment
{
    explicit Environment(const std::string& folder)
    {
        PluginBase::UnregisterAll();
        RegisterMeshResourceTypes();
        os.Init();
        kernel.Init(&os, nullptr);
        database = std::make_unique<VelmarResourceDatabase>(PString("benchsrc"), folder, &resources);
    }
    ~Environment() { database.reset(); }
    AutoReference<VelmarGeometryBaseResource> Load(const std::string& name)
    {
        Resource* made = database->Get(name, ResourceSystem::GetNoLoad);
        AutoReference<VelmarGeometryBaseResource> resource(dynamic_cast<VelmarGeometryBaseResource*>(made));
        if (made) made->Release();
        if (!resource) return resource;
        resource->SetRenderKernel(&kernel);
        if (resource->Lock() != 0) return {};
        return resource;
    }

    OS os{"VelmarBench", "-NullRender -LogFile=/dev/null"};
    RenderKernel kernel{nullptr, 1.0f};
    ResourceSystem resources;
    std::unique_ptr<VelmarResourceDatabase> database;
};

void RayFigures(Environment& env, size_t fastRays)
{
    const uint32_t chunks = 4, cells = 112;
    AutoReference<VelmarGeometryBaseResource> resource = env.Load("ground.im");
    if (!resource)
    {
        std::printf("the ground mesh did not load\n");
        return;
    }
    VelmarIndexedMeshDefinition* definition = resource->GetDefinition();
    std::unique_ptr<VelmarIndexedMeshInstance> instance(resource->CreateMeshInstance());
    std::vector<Triangle> triangles;
    for (uint32_t c = 0; c < definition->GetChunkCount(); ++c)
    {
        GeometryChunk* chunk = definition->GetChunk(c);
        const VertexItemPtr p = chunk->GetItem(ItemPosition);
        const uint16_t* idx = chunk->GetIndexArray();
        for (uint32_t i = 0; i + 2 < chunk->GetNumIndices(); i += 3)
        {
            Triangle t;
            std::memcpy(&t.a, p.address + size_t(idx[i]) * p.stride, 12);
            std::memcpy(&t.b, p.address + size_t(idx[i + 1]) * p.stride, 12);
            std::memcpy(&t.c, p.address + size_t(idx[i + 2]) * p.stride, 12);
            triangles.push_back(t);
        }
    }
    std::printf("mesh: %zu triangles in %u chunks\n\n", triangles.size(), definition->GetChunkCount());

    // Rays from above and slanted, all aimed into the grid.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> x(0.0f, float(chunks * cells)), y(0.0f, float(cells)), slant(-0.5f, 0.5f);
    struct R
    {
        Vector3 origin, direction;
    };
    std::vector<R> rays(fastRays);
    for (R& r : rays)
    {
        r.direction = Vector3(slant(random), slant(random), -1.0f).Normalised();
        const Vector3 target(x(random), y(random), 0.0f);
        r.origin = target - r.direction * 12.0f;
    }
    const size_t slowRays = std::min<size_t>(fastRays, 300);

    std::vector<float> reference(slowRays);
    auto t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < slowRays; ++i) reference[i] = BruteForce(triangles, rays[i].origin, rays[i].direction);
    const double brute = double(slowRays) / Seconds(t0);

    // Through the instance: the rate, the hits, and how many of the first rays disagree with the loop.
    auto Instance = [&](size_t count, double& rate, size_t& disagree) {
        std::vector<float> found(count, -1.0f);
        const auto start = std::chrono::steady_clock::now();
        size_t hits = 0;
        for (size_t i = 0; i < count; ++i)
        {
            float distance = 1e9f;
            ConstFaceDescriptor face;
            if (instance->TestCollisionGeometry(Ray{rays[i].origin, rays[i].direction}, distance, face))
            {
                ++hits;
                found[i] = distance;
            }
        }
        rate = double(count) / Seconds(start);
        disagree = 0;
        for (size_t i = 0; i < slowRays && i < count; ++i)
            if ((found[i] < 0) != (reference[i] < 0) || std::fabs(found[i] - reference[i]) > 1e-3f) ++disagree;
        return hits;
    };
    double instanceBrute = 0, instanceTree = 0;
    size_t bruteDisagree = 0, treeDisagree = 0;
    Instance(slowRays, instanceBrute, bruteDisagree);

    OverlappedResourceSystem system;
    t0 = std::chrono::steady_clock::now();
    const VLAxisBoxTree* tree = definition->FinishCollisionTree(&system);
    const double build = Seconds(t0);
    if (tree == nullptr)
    {
        std::printf("no collision tree was built\n");
        return;
    }
    const size_t instanceHits = Instance(fastRays, instanceTree, treeDisagree);

    t0 = std::chrono::steady_clock::now();
    size_t treeHits = 0;
    for (const R& r : rays)
    {
        VLSegmentHit hit;
        if (tree->IntersectSegment(r.origin, r.origin + r.direction * 5000.0f, hit)) ++treeHits;
    }
    const double direct = double(rays.size()) / Seconds(t0);

    // Embree over the same triangles.
    RTCDevice device = rtcNewDevice(nullptr);
    RTCScene scene = rtcNewScene(device);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* vb = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                           3 * sizeof(float), 3 * triangles.size()));
    auto* ib = static_cast<unsigned*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                              3 * sizeof(unsigned), triangles.size()));
    for (size_t i = 0; i < triangles.size(); ++i)
    {
        const Vector3* corners[3] = {&triangles[i].a, &triangles[i].b, &triangles[i].c};
        for (int k = 0; k < 3; ++k)
        {
            vb[9 * i + 3 * k] = corners[k]->x;
            vb[9 * i + 3 * k + 1] = corners[k]->y;
            vb[9 * i + 3 * k + 2] = corners[k]->z;
            ib[3 * i + k] = unsigned(3 * i + k);
        }
    }
    t0 = std::chrono::steady_clock::now();
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene);
    const double embreeBuild = Seconds(t0);
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    size_t embreeHits = 0;
    t0 = std::chrono::steady_clock::now();
    for (const R& r : rays)
    {
        RTCRayHit rh{};
        rh.ray.org_x = r.origin.x;
        rh.ray.org_y = r.origin.y;
        rh.ray.org_z = r.origin.z;
        rh.ray.dir_x = r.direction.x;
        rh.ray.dir_y = r.direction.y;
        rh.ray.dir_z = r.direction.z;
        rh.ray.tnear = 0.0f;
        rh.ray.tfar = std::numeric_limits<float>::infinity();
        rh.ray.mask = 0xFFFFFFFFu;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(scene, &context, &rh);
        if (rh.hit.geomID != RTC_INVALID_GEOMETRY_ID) ++embreeHits;
    }
    const double embree = double(rays.size()) / Seconds(t0);
    rtcReleaseScene(scene);
    rtcReleaseDevice(device);

    std::printf("%-44s %14s %10s\n", "path", "rays/s", "hits");
    std::printf("%-44s %14.0f %10s\n", "plain loop over every triangle", brute, "-");
    std::printf("%-44s %14.0f %10s\n", "instance, every triangle (no tree)", instanceBrute, "-");
    std::printf("%-44s %14.0f %10zu\n", "instance, collision tree", instanceTree, instanceHits);
    std::printf("%-44s %14.0f %10zu\n", "collision tree directly (IntersectSegment)", direct, treeHits);
    std::printf("%-44s %14.0f %10zu\n", "Intel Embree 3 (rtcIntersect1)", embree, embreeHits);
    std::printf("\ntree build %.1f ms (%zu nodes, %zu bytes), Embree build %.1f ms; of the first %zu rays %zu "
                "(no tree) and %zu (tree) disagree with the plain loop\n\n",
                build * 1e3, tree->GetNodes().size(), tree->GetMemorySize(), embreeBuild * 1e3, slowRays, bruteDisagree,
                treeDisagree);
}

void SkinningFigures(Environment& env, int frames)
{
    for (bool hardware : {false, true})
    {
        env.kernel.GetDisplay()->SetCapability(Display::CapHardwareSkinning, hardware);
        AutoReference<VelmarGeometryBaseResource> resource = env.Load(hardware ? "skin-hw.im" : "skin.im");
        std::unique_ptr<VelmarIndexedMeshInstance> made(resource ? resource->CreateMeshInstance() : nullptr);
        auto* instance = dynamic_cast<VelmarDynamicIndexedMeshInstance*>(made.get());
        if (instance == nullptr)
        {
            std::printf("the skinned mesh did not load\n");
            return;
        }
        const uint32_t vertices = instance->GetChunk(0)->GetNumVertices();
        Particle* b2 = instance->GetSkeleton()->FindByName(PString("b2"));
        ViewPort viewport{0, nullptr};
        Display* display = env.kernel.GetDisplay();
        const auto t0 = std::chrono::steady_clock::now();
        for (int f = 0; f < frames; ++f)
        {
            if (b2) b2->SetOrientation(Quaternion(0, 0, std::sin(f * 0.01f), std::cos(f * 0.01f)));
            display->NextFrame();
            viewport.frame = display->GetCurrentFrame();
            instance->UpdateChunk(instance->GetChunkCount(), instance->GetChunks(), viewport.frame, 0);
        }
        const double s = Seconds(t0);
        if (hardware)
            std::printf("%-44s %14.0f frames/s (%zu bone matrices, %.4f ms a frame)\n",
                        "skinning, hardware path (palette matrices)", frames / s, instance->GetBones().size(),
                        s * 1e3 / frames);
        else
            std::printf("%-44s %14.0f vertices/s (%u vertices of two influences, %.3f ms a frame)\n",
                        "skinning, software", vertices * frames / s, vertices, s * 1e3 / frames);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t rays = argc > 1 ? size_t(std::atol(argv[1])) : 200000;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 200;
    char pattern[] = "/tmp/velmar-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const std::string folder = pattern;
    // 4 x 112 x 112 x 2 = 100,352 triangles; 171 x 171 = 29,241 skinned vertices, two influences each.
    const Bytes ground = Ground(4, 112), skinned = Skinned(170);
    File::WriteFile(folder + "/ground.im", std::string(ground.data.begin(), ground.data.end()));
    File::WriteFile(folder + "/skin.im", std::string(skinned.data.begin(), skinned.data.end()));
    File::WriteFile(folder + "/skin-hw.im", std::string(skinned.data.begin(), skinned.data.end()));
    {
        Environment env(folder);
        RayFigures(env, std::max<size_t>(rays, 1));
        SkinningFigures(env, std::max(frames, 1));
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
