#include "textures/codec/AtcEtcCodecs.h"

#include "textures/codec/AtcBlock.h"
#include "textures/codec/EtcBlock.h"

CodecBuffer* AtcBlockCodec::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(GetType() == 15 ? 19 : 20, width, height, pitch, data);
}

uint32_t AtcBlockCodec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1, uint32_t u2)
{
    const uint32_t type = GetType();
    const uint32_t words = type == 15 ? 2 : 4;
    RepeatedBlock<64, 16> previous;
    return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
        uint32_t texels[16] = {};
        src.ReadBlock(ValueForm::U8, x, y, 4, 4, texels);
        uint8_t block[16] = {};
        if (!previous.Copy(texels, block))
        {
            if (type == 15)
                AtcCompressColor(texels, block);
            else if (type == 16)
                AtcCompressBlockExplicitAlpha(texels, block);
            else
                AtcCompressBlockInterpolatedAlpha(texels, useSSE2_, block);
            previous.Keep(texels, block);
        }
        dst.WriteCompressedBlock(x, y, block, words);
    });
}

uint32_t AtcBlockCodec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    const uint32_t type = GetType();
    return RunBlockLoop(src, dst, nullptr, 0, 0, [&](uint32_t x, uint32_t y) {
        uint8_t block[16] = {};
        uint32_t texels[16];
        for (uint32_t& t : texels) t = 0xFF000000u;
        if (type == 15)
        {
            src.ReadCompressedBlock(x, y, block, 2);
            AtcDecompressColor(block, texels);
        }
        else
        {
            src.ReadCompressedBlock(x, y, block, 4);
            if (type == 16)
                AtcDecompressBlockExplicitAlpha(block, texels);
            else
                AtcDecompressBlockInterpolatedAlpha(block, texels);
        }
        dst.WriteBlock(ValueForm::U8, x, y, 4, 4, texels);
    });
}

CodecBuffer* EtcCodec::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(19, width, height, pitch, data);
}

uint32_t EtcCodec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1, uint32_t u2)
{
    RepeatedBlock<64, 8> previous;
    return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
        uint32_t texels[16] = {};
        src.ReadBlock(ValueForm::U8, x, y, 4, 4, texels);
        uint8_t block[8];
        if (!previous.Copy(texels, block))
        {
            EtcCompressColor(texels, block);
            previous.Keep(texels, block);
        }
        dst.WriteCompressedBlock(x, y, block, 2);
    });
}

uint32_t EtcCodec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    return RunBlockLoop(src, dst, nullptr, 0, 0, [&](uint32_t x, uint32_t y) {
        uint8_t block[8] = {};
        src.ReadCompressedBlock(x, y, block, 2);
        uint32_t texels[16];
        for (uint32_t& t : texels) t = 0xFF000000u;
        EtcDecompressColor(block, texels);
        dst.WriteBlock(ValueForm::U8, x, y, 4, 4, texels);
    });
}
