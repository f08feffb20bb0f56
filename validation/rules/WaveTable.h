#pragma once
// The wave table of the sound check: the wave files of one check, read into at most 1024 slots that last
// as long as the check. Nothing is played and no sample is read; a slot holds what the reader found.
#include "validation/rules/WaveFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TStream;

namespace TETLib {

// AddWave's answers beside those of ReadWaveHeader.
constexpr int kWaveNoStream = -3;
constexpr int kWaveTableFull = -14;  // every slot is taken, or the record cannot be made

class SoundManagerOpenALCWaves
{
public:
    static constexpr size_t kSlots = 1024;

    SoundManagerOpenALCWaves() = default;
    virtual ~SoundManagerOpenALCWaves() = default;
    SoundManagerOpenALCWaves(const SoundManagerOpenALCWaves&) = delete;
    SoundManagerOpenALCWaves& operator=(const SoundManagerOpenALCWaves&) = delete;

    // Reads the wave file on the stream into the first free slot, lowest first, and gives its index. 0 on
    // success; -3 without a stream; -14 when the table is full or the record cannot be made; else the
    // reader's answer (-2), with the reason when asked. On failure no slot changes.
    int AddWave(TStream* stream, uint32_t* slot, std::string* reason = nullptr);

    // The record of a slot, or null. Its stream is the caller's: the caller clears it before closing it.
    WaveRecord* GetWave(size_t slot) { return slot < kSlots ? slots_[slot].get() : nullptr; }
    size_t Count() const { return count_; }

private:
    std::array<std::unique_ptr<WaveRecord>, kSlots> slots_;
    size_t count_ = 0;
};

}  // namespace TETLib
