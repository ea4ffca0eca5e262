#pragma once
#include <cstddef>
#include <cstdint>

#include "guide/eit.h"

namespace vantiro {

inline constexpr std::uint8_t kShortEventDescriptorTag = 0x4D;
inline constexpr std::uint8_t kExtendedEventDescriptorTag = 0x4E;
inline constexpr std::uint8_t kContentDescriptorTag = 0x54;
inline constexpr std::uint8_t kParentalRatingDescriptorTag = 0x55;

// Fills the descriptor-borne fields of `event` from an event's descriptor loop
// (`length` bytes at `loop`): short event (0x4D), extended event (0x4E, pieces joined
// in descriptor number order), content (0x54) and parental rating (0x55). Other tags
// are skipped; a descriptor that runs past the loop ends it.
void decodeEventDescriptors(const std::uint8_t* loop, std::size_t length, EitEvent& event);

}  // namespace vantiro
