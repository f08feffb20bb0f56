#pragma once
// Bounds the interned strings of the daemon process. Tag names of every configuration, settings tree and
// archive the daemon reads are interned; a name nobody holds any more stays in the table until it is
// collected, so new names arriving for ever would grow the process without end. The daemon's loop calls
// Tick, which frees the unused names whenever the table has doubled since the last collection.
#include <cstddef>

class InternedNameBound
{
public:
    static constexpr size_t kSlack = 4096;  // names allowed to accumulate before the first collection

    // Collects when due; returns how many names were freed.
    size_t Tick();

private:
    size_t afterLastCollection_ = 0;
};
