#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "protocol/RouterSession.h"
#include "settings/SalvoFile.h"

namespace corvane {

// The salvos and protected outputs as every front-end keeps them (the
// window, corvanectl salvo, corvanectl serve): each change reads salvos.ini
// afresh under its lock and replaces it at once, so programs sharing the
// file never undo each other, and the session's protect follows the file.
// What to say about a refusal or a failure is the front-end's.
class SalvoBook {
public:
    enum Outcome {
        kSaved,     // the file holds the change
        kDeclined,  // the change itself said no (no room, a name taken): nothing saved
        kFailed,    // locked, unreadable or not saved: problem says which
    };

    explicit SalvoBook(RouterSession& session, std::string path = kSalvoPath);

    // Reads the file; its protected outputs become the session's protect.
    // False when it is damaged or cannot be read (DamageReport says how).
    bool Load();
    // Another program changed the file since it was last read or written here.
    bool ChangedOnDisk() const { return file.ChangedOnDisk(path); }
    std::string DamageReport() const { return file.DamageReport(path); }

    // One change of the file under its lock.
    Outcome Change(const std::function<bool(SalvoFile&)>& change);
    // The router's routes now, under the name (replacing one of that name).
    Outcome Store(std::string_view name);
    Outcome Rename(std::string_view from, std::string_view to);
    // kDeclined: there was no such salvo (another program may have removed it).
    Outcome Remove(std::string_view name);
    // In the file, and live whatever became of the save: the operator asked.
    Outcome Protect(int output, bool on);
    // The named salvo's routes as one request (protected outputs stay as they
    // are). False when there is no such salvo.
    bool Recall(std::string_view name);

    RouterSession& session;
    const std::string path;
    SalvoFile file;       // as last read or written here
    std::string problem;  // why the last change failed
};

}  // namespace corvane
