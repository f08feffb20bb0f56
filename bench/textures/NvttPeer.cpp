#include "bench/textures/NvttPeer.h"

#include <nvtt/nvtt.h>

#include <cstring>

namespace {

class BufferOutput : public nvtt::OutputHandler
{
public:
    BufferOutput(uint8_t* out, size_t size) : out_(out), size_(size) {}
    void beginImage(int, int, int, int, int, int) override {}
    bool writeData(const void* data, int size) override
    {
        if (size < 0 || static_cast<size_t>(size) > size_ - used_)
        {
            overflow_ = true;
            return false;
        }
        std::memcpy(out_ + used_, data, static_cast<size_t>(size));
        used_ += static_cast<size_t>(size);
        return true;
    }
    bool Complete() const { return !overflow_ && used_ == size_; }

private:
    uint8_t* out_;
    size_t size_;
    size_t used_ = 0;
    bool overflow_ = false;
};

class ErrorFlag : public nvtt::ErrorHandler
{
public:
    void error(nvtt::Error) override { failed = true; }
    bool failed = false;
};

}  // namespace

extern "C" int VelmarNvttPeerCompress(const uint8_t* bgra, int width, int height, int format, int quality, uint8_t* out,
                                      size_t outSize)
{
    nvtt::InputOptions input;
    input.setTextureLayout(nvtt::TextureType_2D, width, height);
    input.setMipmapData(bgra, width, height);
    input.setMipmapGeneration(false);

    nvtt::CompressionOptions compression;
    compression.setFormat(format == 0 ? nvtt::Format_DXT1 : nvtt::Format_DXT5);
    compression.setQuality(quality == 0 ? nvtt::Quality_Fastest
                                        : (quality == 1 ? nvtt::Quality_Normal : nvtt::Quality_Production));

    BufferOutput sink(out, outSize);
    ErrorFlag errors;
    nvtt::OutputOptions output;
    output.setOutputHeader(false);
    output.setOutputHandler(&sink);
    output.setErrorHandler(&errors);

    nvtt::Compressor compressor;
    compressor.enableCudaAcceleration(false);
    if (!compressor.process(input, compression, output) || errors.failed || !sink.Complete()) return 1;
    return 0;
}
