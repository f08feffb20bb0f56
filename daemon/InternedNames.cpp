#include "daemon/InternedNames.h"

#include "engine/PString.h"

#include <algorithm>

size_t InternedNameBound::Tick()
{
    Orvo::PStringCache& cache = Orvo::PStringCache::Instance();
    // Names collected elsewhere (after a large load) lower the mark the table doubles from.
    afterLastCollection_ = std::min(afterLastCollection_, cache.Count());
    if (cache.Count() <= 2 * afterLastCollection_ + kSlack) return 0;
    size_t freed = cache.CollectGarbage();
    afterLastCollection_ = cache.Count();
    return freed;
}
