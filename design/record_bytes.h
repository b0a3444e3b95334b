#pragma once
// Little-endian fields of the fixed design records (speaker unit, box
// design): written field by field so that the layout never depends on the
// compiler's packing or the machine's byte order.
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace srx::record {

template <typename T>
inline void PutInt(uint8_t* at, T v) {
    const auto u = static_cast<std::make_unsigned_t<T>>(v);
    for (size_t i = 0; i < sizeof(T); ++i) at[i] = uint8_t(u >> (8 * i));
}

template <typename T>
inline T GetInt(const uint8_t* at) {
    std::make_unsigned_t<T> u = 0;
    for (size_t i = 0; i < sizeof(T); ++i) u |= std::make_unsigned_t<T>(at[i]) << (8 * i);
    return static_cast<T>(u);
}

inline void PutDouble(uint8_t* at, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    PutInt<uint64_t>(at, bits);
}

inline double GetDouble(const uint8_t* at) {
    const uint64_t bits = GetInt<uint64_t>(at);
    double v = 0;
    std::memcpy(&v, &bits, 8);
    return v;
}

// The last byte stays NUL: a reader always finds the end.
inline void PutText(uint8_t* at, size_t size, const std::string& text) {
    std::memcpy(at, text.data(), text.size() < size - 1 ? text.size() : size - 1);
}

inline std::string GetText(const uint8_t* at, size_t size) {
    return std::string(reinterpret_cast<const char*>(at), strnlen(reinterpret_cast<const char*>(at), size - 1));
}

}  // namespace srx::record
