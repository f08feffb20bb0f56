#include "assetdb/VADRequestBounds.h"

#include "assetdb/VADProtocol.h"

namespace {

struct BoundRow
{
    uint32_t code;
    const char* name;
    unsigned boundMs;
};

constexpr unsigned kQueryBound = kVADQueryBoundMs;
constexpr unsigned kAssetBound = kVADAssetBoundMs;
constexpr unsigned kLongBound = kVADLongBoundMs;

constexpr BoundRow kBounds[] = {
#define VAD_REQUEST(ID, CODE, BOUND, NAME, ...) {VAD_REQ_##ID, NAME, k##BOUND##Bound},
#include "assetdb/VADRequestTable.def"
#undef VAD_REQUEST
};

const BoundRow* Find(uint32_t code)
{
    for (const BoundRow& row : kBounds)
        if (row.code == code) return &row;
    return nullptr;
}

}  // namespace

unsigned VADRequestBoundMs(uint32_t code)
{
    const BoundRow* row = Find(code);
    return row ? row->boundMs : kVADQueryBoundMs;
}

const char* VADRequestName(uint32_t code)
{
    const BoundRow* row = Find(code);
    return row ? row->name : "request";
}
