// Loading speed of the mesh files: indexed and LOD meshes of realistic size (tens of thousands of
// triangles in several chunks and levels, generated here), in MB/s, beside the cost of going over the
// same bytes in memory (a copy, and a pass that sums every 32-bit word).
// Usage: bench_render [triangles per level, default 60000] [repeats, default 20]
#include "engine/Display.h"
#include "engine/File.h"
#include "engine/MaterialManager.h"
#include "render/VelmarIndexedMeshLODDefinition.h"
#include "render/tests/MeshFileBuilder.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A wavy grid of (cells x cells x 2) triangles: positions, one texture set, normals, indices, face normals.
void WriteGridGeometry(Bytes& b, uint32_t cells, float offset, bool lod)
{
    const uint32_t side = cells + 1, vertices = side * side, triangles = cells * cells * 2;
    const size_t geom = b.Begin("GEOM", lod ? 201 : 200);
    b.U32(4);
    if (lod) b.U32(0);
    b.F32(1.0f).U32(vertices).U32(triangles).U32(triangles * 3).U32(triangles).U32(0).Str("grid");
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
            b.Floats({float(x) + offset, float(y), std::sin(float(x) * 0.3f) * std::cos(float(y) * 0.2f),
                      float(x) / float(cells), float(y) / float(cells)});
    for (uint32_t y = 0; y < cells; ++y)
        for (uint32_t x = 0; x < cells; ++x)
        {
            const uint16_t a = uint16_t(y * side + x), c = uint16_t(a + side);
            b.U16(a).U16(uint16_t(a + 1)).U16(c).U16(uint16_t(a + 1)).U16(uint16_t(c + 1)).U16(c);
        }
    for (uint32_t v = 0; v < vertices; ++v) b.Floats({0, 0, 1});
    for (uint32_t t = 0; t < triangles; ++t) b.Floats({0, 0, 1});
    b.End(geom);
}

void WriteMaterial(Bytes& b, int index)
{
    const size_t m = b.Begin("MATL", 103);
    b.Str("part" + std::to_string(index) + ".m.onetex").U32(1).Str("Shine").Str("0.5").U32(0).F32(1.0f);
    for (int c = 0; c < 12; ++c) b.F32(0.5f);
    b.F32(20.0f).U32(1).U32(0).Str("part" + std::to_string(index) + ".texture").F32(1.0f);
    b.End(m);
}

// Chunks of at most 65536 vertices (16-bit indices): cells chosen so `triangles` spread over `chunks`.
Bytes IndexedMesh(uint32_t triangles, uint32_t chunks)
{
    const uint32_t cells = uint32_t(std::sqrt(double(triangles) / chunks / 2.0));
    Bytes b;
    const size_t form = b.Form("IDXM");
    const size_t info = b.Begin("INFO", 100);
    b.Floats({0, 0, 0, 0, 0, 0, 1}).U32(chunks);
    b.End(info);
    for (uint32_t c = 0; c < chunks; ++c)
    {
        const size_t chnk = b.Begin("CHNK", 100);
        b.U32(0);
        WriteMaterial(b, int(c));
        WriteGridGeometry(b, cells, float(c) * float(cells), false);
        b.End(chnk);
    }
    b.End(form);
    return b;
}

// Four levels, each with half the triangles of the one before, `chunks` chunks each.
Bytes LODMesh(uint32_t triangles, uint32_t chunks)
{
    Bytes b;
    const size_t form = b.Form("LODM");
    const size_t info = b.Begin("INFO", 100);
    b.Floats({0, 0, 0, 0, 0, 0, 1}).U32(4).U32(0).Floats({0, 1, 0, 0, 0}).U32(0);
    b.End(info);
    const size_t matt = b.Begin("MATT", 100);
    b.U32(chunks);
    for (uint32_t c = 0; c < chunks; ++c) WriteMaterial(b, int(c));
    b.End(matt);
    for (uint32_t level = 0; level < 4; ++level)
    {
        const uint32_t cells = uint32_t(std::sqrt(double(triangles >> level) / chunks / 2.0));
        const size_t mesh = b.Begin("MESH", 100);
        b.U32(chunks).U32(0).U32(0).F32(float(level) * 100.0f);
        for (uint32_t c = 0; c < chunks; ++c)
        {
            const size_t lchk = b.Begin("LCHK", 100);
            b.U32(c).U32(c);
            WriteGridGeometry(b, cells, float(c) * float(cells), true);
            b.End(lchk);
        }
        b.End(mesh);
    }
    b.End(form);
    return b;
}

template <class F>
double Rate(const Bytes& file, int repeats, F run)
{
    run();  // warm
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i) run();
    return double(file.data.size()) * repeats / 1048576.0 / Seconds(t0);
}

void Report(const char* what, const Bytes& file, int repeats, Orvo::Display& display, Orvo::MaterialManager& manager,
            bool lod)
{
    std::vector<uint8_t> copy(file.data.size());
    volatile uint32_t sink = 0;
    const double memcpyRate = Rate(file, repeats, [&] { std::memcpy(copy.data(), file.data.data(), copy.size()); });
    const double scanRate = Rate(file, repeats, [&] {
        uint32_t sum = 0;
        for (size_t i = 0; i + 4 <= file.data.size(); i += 4)
        {
            uint32_t w;
            std::memcpy(&w, file.data.data() + i, 4);
            sum += w;
        }
        sink = sink + sum;
    });
    int result = 0;
    uint32_t vertices = 0;
    const double loadRate = Rate(file, repeats, [&] {
        if (lod)
        {
            VelmarIndexedMeshLODDefinition def{MeshOptions()};
            def.SetFileData(file.data.data(), file.data.size(), "bench.lm");
            result |= def.LoadHeldLODM(&display, &manager, nullptr, 0xFFFFFFFFu);
            vertices = 0;
            for (const MeshChunkGroup& level : def.GetLevels()) vertices += level.vertexCount;
        }
        else
        {
            VelmarIndexedMeshDefinition def{MeshOptions()};
            def.SetFileData(file.data.data(), file.data.size(), "bench.im");
            result |= def.LoadIDXM(&display, &manager, nullptr, 0xFFFFFFFFu);
            vertices = def.GetTotalVertices();
        }
    });
    std::printf("%-13s %6.2f MB, %7u vertices: load %7.1f MB/s (result %d) | memcpy %8.1f MB/s, word scan %7.1f MB/s "
                "| load costs %.0fx a copy\n",
                what, file.data.size() / 1048576.0, vertices, loadRate, result, memcpyRate, scanRate,
                memcpyRate / loadRate);
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t triangles = argc > 1 ? uint32_t(std::atoi(argv[1])) : 60000;
    int repeats = argc > 2 ? std::atoi(argv[2]) : 20;
    if (triangles < 1000 || triangles > 4000000) triangles = 60000;
    if (repeats < 1) repeats = 20;
    Orvo::Display display(Orvo::Display::Kind::Null);
    Orvo::MaterialManager manager(&display);
    Orvo::MaterialManager::RegisterEngineMaterialTypes();

    Report("indexed (8)", IndexedMesh(triangles, 8), repeats, display, manager, false);
    Report("indexed (1)", IndexedMesh(std::min(triangles, 120000u), 1), repeats, display, manager, false);
    Report("LOD (4 x 6)", LODMesh(triangles, 6), repeats, display, manager, true);

    // Writing a LOD mesh back (SaveLODM) into a file.
    const Bytes lod = LODMesh(triangles, 6);
    VelmarIndexedMeshLODDefinition def{MeshOptions()};
    def.SetFileData(lod.data.data(), lod.data.size(), "bench.lm");
    if (def.LoadHeldLODM(&display, &manager, nullptr, 0) == 0)
    {
        char path[] = "/tmp/velmar-meshbench-XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) close(fd);
        const double saveRate = Rate(lod, std::max(1, repeats / 4), [&] {
            Orvo::File out;
            out.Open(path, Orvo::File::ModeWrite);
            def.SaveLODM(out);
        });
        std::remove(path);
        std::printf("%-13s save %7.1f MB/s\n", "LOD (4 x 6)", saveRate);
    }
    return 0;
}
