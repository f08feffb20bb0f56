#pragma once
// The ATC codecs (RGB, explicit alpha, interpolated alpha) and the ETC codec: byte block loops over
// the block encoders of AtcBlock and EtcBlock.
#include "textures/codec/TextureCodec.h"

class AtcBlockCodec : public BlockCodec4x4
{
public:
    explicit AtcBlockCodec(uint32_t codecType) : BlockCodec4x4(codecType) {}
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;
};

class AtcRgbCodec : public AtcBlockCodec
{
public:
    AtcRgbCodec() : AtcBlockCodec(15) {}
};
class AtcExplicitAlphaCodec : public AtcBlockCodec
{
public:
    AtcExplicitAlphaCodec() : AtcBlockCodec(16) {}
};
class AtcInterpolatedAlphaCodec : public AtcBlockCodec
{
public:
    AtcInterpolatedAlphaCodec() : AtcBlockCodec(17) {}
};

class EtcBlockCodec : public BlockCodec4x4
{
public:
    explicit EtcBlockCodec(uint32_t codecType) : BlockCodec4x4(codecType) {}
};

class EtcCodec : public EtcBlockCodec
{
public:
    EtcCodec() : EtcBlockCodec(18) {}
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;
};
