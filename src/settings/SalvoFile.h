#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/RouterState.h"
#include "protocol/RoutingMap.h"
#include "settings/IniFile.h"

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

// Several programs share the file (the window, corvanectl, scripts), so
// every change re-reads it under a lock and saves it at once.
struct SalvoFile {
    std::vector<Salvo> salvos;
    bool protectedOutput[kChannelTableSize] = {};
    // What Load found wrong ("" for a sound file) and the copy it kept of the
    // damaged file ("" when the file could not be read at all). A save clears both.
    std::string damage;
    std::string damagedCopy;
    bool unreadable = false;  // it exists but could not be read: nothing is known
    FileStamp stamp;          // the file as last read or written here

    // A missing file is an empty one. A damaged file keeps every salvo line
    // that reads well and every protected output named, is copied beside
    // (<path>.bad, then .bad.1, .bad.2, ...: an earlier copy is never
    // replaced, a copy of the same bytes is not made twice) and returns false
    // with damage set; problem is the same text.
    bool Load(const std::string& path, std::string& problem);
    // One atomic replacement of the whole file; false when it failed.
    bool Save(const std::string& path) const;
    // Under the lock <path>.lock: reads the file afresh, lets change edit it
    // and saves the result. False when change returned false (nothing saved,
    // problem empty) or the lock, the read or the save failed (problem says
    // which; the file is as it was). Either way this holds the file as it
    // now is on disk.
    bool Update(const std::string& path, const std::function<bool(SalvoFile&)>& change,
                std::string& problem);
    // The damage in one sentence for the log and stderr; "" for a sound file.
    std::string DamageReport(const std::string& path) const;
    // Another program changed the file since it was last read or written here.
    bool ChangedOnDisk(const std::string& path) const { return StampOf(path) != stamp; }

    Salvo* Find(std::string_view name);
    // Stores the map under the name, replacing a salvo of that name. False for
    // a name that cannot be stored or when the list is full.
    bool Store(std::string_view name, const int (&map)[kChannelTableSize]);
    bool Remove(std::string_view name);
    bool Rename(std::string_view from, std::string_view to);
    // The first salvo whose map is the given one, or nullptr.
    const Salvo* Matching(const int (&map)[kChannelTableSize]) const;

    // The file's protected outputs become the routing map's protect.
    void ApplyProtection(RoutingMap& routing) const;
};

// 1 to 63 characters, no "=", no line break or control character, no blanks at
// either end, not starting with "[" or ";" (the file could not read it back).
bool ValidSalvoName(std::string_view name);

// Recalling a salvo asks for all sixteen routes at once.
std::vector<RouteChange> SalvoChanges(const Salvo& salvo);

}  // namespace corvane
