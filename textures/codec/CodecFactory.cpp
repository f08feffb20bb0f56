// Codec objects by codec type.
#include <new>

#include "textures/codec/AtcEtcCodecs.h"
#include "textures/codec/DxtcCodec.h"

TextureCodec* CreateTextureCodec(uint32_t codecType)
{
    switch (codecType)
    {
    case 2: return new (std::nothrow) Dxt1Codec();
    case 3: return new (std::nothrow) Dxt3Codec();
    case 4: return new (std::nothrow) Dxt5Codec();
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10: return new (std::nothrow) DxtcDxt5Codec(codecType);
    case 11: return new (std::nothrow) Ati1nCodec();
    case 12:
    case 13: return new (std::nothrow) Ati2nCodec(codecType);
    case 14: return new (std::nothrow) Ati2nDxt5Codec();
    case 15: return new (std::nothrow) AtcRgbCodec();
    case 16: return new (std::nothrow) AtcExplicitAlphaCodec();
    case 17: return new (std::nothrow) AtcInterpolatedAlphaCodec();
    case 18: return new (std::nothrow) EtcCodec();
    default: return nullptr;
    }
}
