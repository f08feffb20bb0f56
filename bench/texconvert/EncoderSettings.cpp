#include "EncoderSettings.h"

#include "Psnr.h"
#include "engine/Bitmap.h"
#include "textures/codec/CodecBuffer.h"
#include "textures/codec/TextureCodec.h"

#include <squish.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct Setting
{
    const char* name;
    int speed;
    int steps;
    int threeD;
    bool qualityPath;  // UseSSE 0: speed 1 stays on the quality encoder (4-colour palette only)
};

const Setting kSettings[] = {
    {"speed 0, refinement steps 1 (the front end's)", 0, 1, 0, false},
    {"speed 0, refinement steps 0", 0, 0, 0, false},
    {"speed 0, refinement steps 2", 0, 2, 0, false},
    {"speed 0, refinement steps 1, 3D refinement", 0, 1, 1, false},
    {"quality encoder without the 3-colour palette, steps 1", 1, 1, 0, true},
    {"quality encoder without the 3-colour palette, steps 0", 1, 0, 0, true},
    {"speed 1 (fast)", 1, 1, 0, false},
    {"speed 2 (fast SSE2)", 2, 1, 0, false},
};

}  // namespace

void CompareEncoderSettings(const std::vector<std::string>& images)
{
    constexpr size_t count = sizeof kSettings / sizeof kSettings[0];
    double psnr[count] = {}, seconds[count] = {};
    double pixels = 0;
    int n = 0;
    for (const std::string& path : images)
    {
        Orvo::String reason;
        std::unique_ptr<Orvo::Bitmap> image = Orvo::Bitmap::Load(path, reason);
        if (!image || image->GetWidth() % 4 != 0 || image->GetHeight() % 4 != 0 ||
            std::max(image->GetWidth(), image->GetHeight()) < 64)
            continue;
        const bool alpha = image->GetFormat() == Orvo::Bitmap::FormatARGB32;
        const uint32_t w = image->GetWidth(), h = image->GetHeight();
        std::vector<uint8_t> bgra(size_t(w) * h * 4);
        for (uint32_t y = 0; y < h; ++y) std::memcpy(&bgra[size_t(y) * w * 4], image->Row(y), size_t(w) * 4);
        if (!alpha)
            for (size_t i = 3; i < bgra.size(); i += 4) bgra[i] = 255;
        ++n;
        pixels += double(w) * h;
        for (size_t s = 0; s < count; ++s)
        {
            const Setting& st = kSettings[s];
            std::unique_ptr<TextureCodec> codec(CreateTextureCodec(alpha ? 4 : 2));  // DXT5 or DXT1
            codec->SetParameter("CompressionSpeed", st.speed);
            codec->SetParameter("RefinementSteps", st.steps);
            codec->SetParameter("3DRefinement", st.threeD);
            if (st.qualityPath) codec->SetParameter("UseSSE", 0);
            std::vector<uint8_t> blocks(size_t((w + 3) / 4) * ((h + 3) / 4) * (alpha ? 16 : 8));
            std::unique_ptr<CodecBuffer> src(CreateCodecBuffer(1, w, h, 0, bgra.data()));
            std::unique_ptr<CodecBuffer> dst(codec->CreateBuffer(w, h, 0, blocks.data()));
            const auto start = std::chrono::steady_clock::now();
            codec->Compress(*src, *dst, nullptr, 0, 0);
            seconds[s] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            DecodedLevel level;
            level.width = w, level.height = h;
            level.bgra.resize(bgra.size());
            squish::DecompressImage(level.bgra.data(), int(w), int(h), blocks.data(),
                                    alpha ? squish::kDxt5 : squish::kDxt1);
            for (size_t i = 0; i < level.bgra.size(); i += 4) std::swap(level.bgra[i], level.bgra[i + 2]);
            psnr[s] += OpaquePsnr(*image, level);
        }
    }
    std::printf("setting,mean level-0 PSNR dB,single-thread Mpix/s (level 0 of %d images)\n", n);
    for (size_t s = 0; s < count; ++s)
        std::printf("setting %s,%.3f,%.2f\n", kSettings[s].name, n ? psnr[s] / n : 0.0, pixels / 1e6 / seconds[s]);
}
