#include "daemon/InternedNames.h"

#include "engine/PString.h"

size_t InternedNameBound::Tick()
{
    Orvo::PStringCache& cache = Orvo::PStringCache::Instance();
    if (cache.Count() <= 2 * afterLastCollection_ + kSlack) return 0;
    size_t freed = cache.CollectGarbage();
    afterLastCollection_ = cache.Count();
    return freed;
}
