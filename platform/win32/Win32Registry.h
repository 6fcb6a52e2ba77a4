#pragma once
// The registry back end's extra for tests: values of any type, written as
// given, to see how the store reads what it never writes itself.

#include <cstdint>
#include <string>

namespace platform {

inline constexpr std::uint32_t RegTypeSz = 1;
inline constexpr std::uint32_t RegTypeExpandSz = 2;
inline constexpr std::uint32_t RegTypeBinary = 3;
inline constexpr std::uint32_t RegTypeDword = 4;
inline constexpr std::uint32_t RegTypeQword = 11;

// Writes data (exactly these bytes) as a value of the given type into the key
// at location (as OpenRegistryKey takes it), creating the key. False on
// failure.
bool WriteRawRegistryValue(const std::string& location, const std::string& name, std::uint32_t type,
                           const std::string& data);

}  // namespace platform
