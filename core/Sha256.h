#pragma once
// SHA-256 and HMAC-SHA-256 (keyed hashes that prove a secret is known without showing it).
#include <array>
#include <cstddef>
#include <cstdint>

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256
{
public:
    Sha256();
    // Adds bytes; may be called any number of times before Finish.
    void Update(const void* data, size_t size);
    // The digest of everything added. The object starts over afterwards.
    Sha256Digest Finish();

private:
    void Block(const uint8_t* block);

    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t total_ = 0;
};

Sha256Digest Sha256Of(const void* data, size_t size);
Sha256Digest HmacSha256(const void* key, size_t keySize, const void* message, size_t messageSize);
// Compares in a time that does not depend on where the digests differ.
bool DigestsEqual(const Sha256Digest& a, const Sha256Digest& b);
