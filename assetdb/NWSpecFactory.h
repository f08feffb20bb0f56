#pragma once
// The program's objects for assets (specs), created and cached by KUID in a factory (the tool owns the one
// of a run; its daemon client drops a deleted asset's spec).
//
// Specs are shared: the factory keeps one reference in its cache, callers hold their own. After each
// command-host job the cache is dropped (ReleaseAllSpecs); a spec that someone still holds then has
// leaked, and is named in the log so the holder can be found.
#include "core/KUID.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

class NimblewickSpec
{
public:
    explicit NimblewickSpec(const KUID& kuid) : kuid_(kuid) {}
    NimblewickSpec(const NimblewickSpec&) = delete;
    NimblewickSpec& operator=(const NimblewickSpec&) = delete;
    virtual ~NimblewickSpec() = default;

    const KUID& GetKUID() const { return kuid_; }

private:
    KUID kuid_;
};

using NimblewickSpecRef = std::shared_ptr<NimblewickSpec>;

class NWSpecFactory
{
public:
    // Makes the spec object for a KUID (subsystems with richer specs register theirs); null refuses.
    using Creator = NimblewickSpec* (*)(const KUID& kuid);

    NWSpecFactory() = default;
    NWSpecFactory(const NWSpecFactory&) = delete;
    NWSpecFactory& operator=(const NWSpecFactory&) = delete;

    void SetCreator(Creator creator);  // null restores the plain NimblewickSpec

    // The cached spec, created on first use. Null for the null KUID or when the creator refuses.
    NimblewickSpecRef GetSpec(const KUID& kuid);
    // The cached spec without creating one.
    NimblewickSpecRef FindSpec(const KUID& kuid) const;
    // Drops one asset's cached spec (after the asset was deleted or replaced).
    void ReleaseSpec(const KUID& kuid);
    // Drops every cached spec and logs those still held elsewhere; returns how many were still held.
    size_t ReleaseAllSpecs();
    size_t GetSpecCount() const;

private:
    mutable std::mutex lock_;
    std::unordered_map<KUID, NimblewickSpecRef> specs_;
    Creator creator_ = nullptr;
};
