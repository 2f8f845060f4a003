#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "protocol/RoutingMap.h"

namespace corvane {

// Keyboard routing: the input, a separator, the output, Enter. What may be
// typed, and how much of it.
inline constexpr std::string_view kRouteSeparators = ".,-/>* ";
inline constexpr std::string_view kRouteEntryKeys = "0123456789.,-/>* ";
inline constexpr std::size_t kMaxRouteEntry = 8;

// "IN.OUT" (any separator between the two numbers), input 0 for no input.
// nullopt for anything else.
std::optional<RouteChange> ParseRouteEntry(std::string_view text);

}  // namespace corvane
