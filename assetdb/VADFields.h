#pragma once
// One field list per payload: a payload names its fields once, in wire order, and writing and reading both
// walk that list, so the two directions cannot drift apart.
//
//   struct VADKuidFlagRequest
//   {
//       KUID kuid = KUID::Null();
//       uint8_t flag = 0;
//       VAD_FIELDS(kuid, flag)
//   };
//
// VADWriteFields puts each field in its wire form (VADWireIO.h); VADReadFields reads them back in the same
// order and, for a payload with `bool Valid() const`, fails the reader when the fields read are not valid
// together. The forms by field type:
//   uint8_t, uint32_t, int32_t, uint64_t, float    u8, u32, i32, u64, f32
//   KUID                                           the KUID's two words
//   std::string, Orvo::PString                     string
//   VADBytes                                       blob
//   std::vector<std::string>, std::vector<KUID>    u32 count, then the entries
//   std::vector<std::pair<A, B>>                   u32 count, then each A and B
//   T[N]                                           the N entries
//   VADTail{std::string}                           a string that is written only when it is not empty and
//                                                  read only when bytes remain (an optional last field)
//   VADRest{VADBytes}                              the rest of the payload, as it stands
//   a type with VAD_FIELDS                         its own fields, in place
//   std::vector<T>, T with VAD_FIELDS              u32 count, then each entry's fields (an entry takes at
//                                                  least T::kMinWireBytes)
// A field of another type brings its own VADPutField / VADGetField pair (found by argument lookup).
#include "assetdb/VADWireIO.h"
#include "core/KUID.h"
#include "engine/PString.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// The field list of a payload; a list whose shape depends on a field read first (a command word) writes
// its two Fields overloads itself.
#define VAD_FIELDS(...)                                                                                                \
    template <typename Visit>                                                                                          \
    void Fields(Visit&& visit)                                                                                         \
    {                                                                                                                  \
        visit(__VA_ARGS__);                                                                                            \
    }                                                                                                                  \
    template <typename Visit>                                                                                          \
    void Fields(Visit&& visit) const                                                                                   \
    {                                                                                                                  \
        visit(__VA_ARGS__);                                                                                            \
    }

// An optional last string: absent on the wire when empty.
template <typename S>
struct VADTail
{
    S& text;
};
template <typename S>
VADTail(S&) -> VADTail<S>;

// The rest of the payload, as it stands.
template <typename B>
struct VADRest
{
    B& bytes;
};
template <typename B>
VADRest(B&) -> VADRest<B>;

template <typename T>
concept VADHasFields = requires(T& t)
{
    t.Fields([](auto&&...) {});
};

inline void VADPutField(VADWriter& w, uint8_t v) { w.U8(v); }
inline void VADPutField(VADWriter& w, uint32_t v) { w.U32(v); }
inline void VADPutField(VADWriter& w, int32_t v) { w.I32(v); }
inline void VADPutField(VADWriter& w, uint64_t v) { w.U64(v); }
inline void VADPutField(VADWriter& w, float v) { w.F32(v); }
inline void VADPutField(VADWriter& w, const KUID& v) { w.Kuid(v); }
inline void VADPutField(VADWriter& w, const std::string& v) { w.String(v); }
inline void VADPutField(VADWriter& w, const Orvo::PString& v) { w.String(v.View()); }
inline void VADPutField(VADWriter& w, const VADBytes& v) { w.Blob(v); }
inline void VADPutField(VADWriter& w, const std::vector<std::string>& v) { w.StringList(v); }
inline void VADPutField(VADWriter& w, const std::vector<KUID>& v) { w.KuidList(v); }
inline void VADPutField(VADWriter& w, VADTail<const std::string> v)
{
    if (!v.text.empty()) w.String(v.text);
}
inline void VADPutField(VADWriter& w, VADRest<const VADBytes> v) { w.Raw(v.bytes.data(), v.bytes.size()); }

inline void VADGetField(VADReader& r, uint8_t& v) { v = r.U8(); }
inline void VADGetField(VADReader& r, uint32_t& v) { v = r.U32(); }
inline void VADGetField(VADReader& r, int32_t& v) { v = r.I32(); }
inline void VADGetField(VADReader& r, uint64_t& v) { v = r.U64(); }
inline void VADGetField(VADReader& r, float& v) { v = r.F32(); }
inline void VADGetField(VADReader& r, KUID& v) { v = r.Kuid(); }
inline void VADGetField(VADReader& r, std::string& v) { v = r.String(); }
inline void VADGetField(VADReader& r, Orvo::PString& v) { v = Orvo::PString(r.String()); }
inline void VADGetField(VADReader& r, VADBytes& v) { v = r.Blob(); }
inline void VADGetField(VADReader& r, std::vector<std::string>& v) { v = r.StringList(); }
inline void VADGetField(VADReader& r, std::vector<KUID>& v) { v = r.KuidList(); }
inline void VADGetField(VADReader& r, VADTail<std::string> v)
{
    if (r.Remaining() > 0) v.text = r.String();
}
inline void VADGetField(VADReader& r, VADRest<VADBytes> v) { v.bytes = r.Rest(); }

// The fewest bytes one entry of a list can take, to bound a count before anything is allocated.
template <typename T>
constexpr size_t VADMinFieldSize()
{
    if constexpr (std::is_arithmetic_v<T>)
        return sizeof(T);
    else if constexpr (std::is_same_v<T, KUID>)
        return 8;
    else
        return 4;  // strings, blobs and lists start with a u32
}

template <typename A, typename B>
void VADPutField(VADWriter& w, const std::vector<std::pair<A, B>>& list);
template <typename A, typename B>
void VADGetField(VADReader& r, std::vector<std::pair<A, B>>& list);
template <typename T, size_t N>
void VADPutField(VADWriter& w, const T (&array)[N]);
template <typename T, size_t N>
void VADGetField(VADReader& r, T (&array)[N]);
template <VADHasFields T>
void VADPutField(VADWriter& w, const T& nested);
template <VADHasFields T>
void VADGetField(VADReader& r, T& nested);
template <VADHasFields T>
void VADPutField(VADWriter& w, const std::vector<T>& list);
template <VADHasFields T>
void VADGetField(VADReader& r, std::vector<T>& list);

// Writes the payload's fields in order.
template <typename T>
void VADWriteFields(VADWriter& w, const T& payload)
{
    payload.Fields([&w](const auto&... field) { (VADPutField(w, field), ...); });
}

// Reads the payload's fields in order; the reader fails on a short or malformed field, or when the
// payload's Valid() says no.
template <typename T>
void VADReadFields(VADReader& r, T& payload)
{
    payload.Fields([&r](auto&&... field) { (VADGetField(r, field), ...); });
    if constexpr (requires(const T& t) { t.Valid(); })
        if (r.Ok() && !payload.Valid()) r.Fail();
}

template <typename A, typename B>
void VADPutField(VADWriter& w, const std::vector<std::pair<A, B>>& list)
{
    w.U32(static_cast<uint32_t>(list.size()));
    for (const auto& [a, b] : list)
    {
        VADPutField(w, a);
        VADPutField(w, b);
    }
}

template <typename A, typename B>
void VADGetField(VADReader& r, std::vector<std::pair<A, B>>& list)
{
    list.clear();
    const uint32_t n = r.Count(VADMinFieldSize<A>() + VADMinFieldSize<B>());
    for (uint32_t i = 0; i < n && r.Ok(); ++i)
    {
        std::pair<A, B> entry;
        VADGetField(r, entry.first);
        VADGetField(r, entry.second);
        list.push_back(std::move(entry));
    }
}

template <typename T, size_t N>
void VADPutField(VADWriter& w, const T (&array)[N])
{
    for (const T& v : array) VADPutField(w, v);
}

template <typename T, size_t N>
void VADGetField(VADReader& r, T (&array)[N])
{
    for (T& v : array) VADGetField(r, v);
}

template <VADHasFields T>
void VADPutField(VADWriter& w, const T& nested)
{
    VADWriteFields(w, nested);
}

template <VADHasFields T>
void VADGetField(VADReader& r, T& nested)
{
    VADReadFields(r, nested);
}

template <VADHasFields T>
void VADPutField(VADWriter& w, const std::vector<T>& list)
{
    w.U32(static_cast<uint32_t>(list.size()));
    for (const T& entry : list) VADWriteFields(w, entry);
}

template <VADHasFields T>
void VADGetField(VADReader& r, std::vector<T>& list)
{
    list.clear();
    const uint32_t n = r.Count(T::kMinWireBytes);
    for (uint32_t i = 0; i < n && r.Ok(); ++i)
    {
        T entry;
        VADReadFields(r, entry);
        if (r.Ok()) list.push_back(std::move(entry));
    }
}
