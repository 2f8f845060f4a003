#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/RouterState.h"
#include "protocol/RoutingMap.h"

namespace corvane {

// Salvos and protected outputs live beside config.ini in a file of their own,
// so that saving a salvo never rewrites the settings.
inline constexpr const char* kSalvoPath = "./salvos.ini";
inline constexpr int kMaxSalvos = 256;
inline constexpr std::size_t kMaxSalvoNameLength = 63;

// A stored crosspoint map: routedInput as it was, 0 = no input.
struct Salvo {
    std::string name;
    int map[kChannelTableSize] = {};
};

struct SalvoFile {
    std::vector<Salvo> salvos;
    bool protectedOutput[kChannelTableSize] = {};

    // A missing file is an empty one. A damaged file leaves everything empty,
    // is kept beside as <path>.bad and returns false with the reason.
    bool Load(const std::string& path, std::string& problem);
    // One atomic replacement of the whole file; false when it failed.
    bool Save(const std::string& path) const;

    Salvo* Find(std::string_view name);
    // Stores the map under the name, replacing a salvo of that name. False for
    // a name that cannot be stored or when the list is full.
    bool Store(std::string_view name, const int (&map)[kChannelTableSize]);
    bool Remove(std::string_view name);
    bool Rename(std::string_view from, std::string_view to);
    // The first salvo whose map is the given one, or nullptr.
    const Salvo* Matching(const int (&map)[kChannelTableSize]) const;

    // Protection moves between this file and the routing map.
    void ApplyProtection(RoutingMap& routing) const;
    void TakeProtection(const RoutingMap& routing);
};

// 1 to 63 characters, no "=", no line break or control character, no blanks at
// either end, not starting with "[" or ";" (the file could not read it back).
bool ValidSalvoName(std::string_view name);

// Recalling a salvo asks for all sixteen routes at once.
std::vector<RouteChange> SalvoChanges(const Salvo& salvo);

}  // namespace corvane
