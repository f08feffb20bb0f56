#include "validation/rules/WaveTable.h"

#include <new>

namespace TETLib {

int SoundManagerOpenALCWaves::AddWave(TStream* stream, uint32_t* slot, std::string* reason)
{
    std::unique_ptr<WaveRecord> record(new (std::nothrow) WaveRecord());
    if (!record)
    {
        if (reason != nullptr) *reason = "there is no memory left for it";
        return kWaveTableFull;
    }
    if (stream == nullptr)
    {
        if (reason != nullptr) *reason = "it cannot be read";
        return kWaveNoStream;
    }
    if (const int read = ReadWaveHeader(stream, record.get(), reason); read != kWaveReadOk) return read;
    for (size_t i = 0; i < kSlots; ++i)
    {
        if (slots_[i]) continue;
        slots_[i] = std::move(record);
        ++count_;
        if (slot != nullptr) *slot = uint32_t(i);
        return kWaveReadOk;
    }
    if (reason != nullptr)
        *reason = "one sound entry can load at most " + std::to_string(kSlots) + " sound files, and this is one more";
    return kWaveTableFull;
}

}  // namespace TETLib
