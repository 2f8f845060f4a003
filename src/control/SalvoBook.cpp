#include "control/SalvoBook.h"

#include <utility>

namespace corvane {

SalvoBook::SalvoBook(RouterSession& session, std::string path)
    : session(session), path(std::move(path)) {}

bool SalvoBook::Load() {
    const bool sound = file.Load(path, problem);
    file.ApplyProtection(session.routing);
    return sound;
}

SalvoBook::Outcome SalvoBook::Change(const std::function<bool(SalvoFile&)>& change) {
    if (file.Update(path, change, problem)) {
        file.ApplyProtection(session.routing);
        return kSaved;
    }
    return problem.empty() ? kDeclined : kFailed;
}

SalvoBook::Outcome SalvoBook::Store(std::string_view name) {
    return Change([&](SalvoFile& f) { return f.Store(name, session.state.routedInput); });
}

SalvoBook::Outcome SalvoBook::Rename(std::string_view from, std::string_view to) {
    return Change([&](SalvoFile& f) { return f.Rename(from, to); });
}

SalvoBook::Outcome SalvoBook::Remove(std::string_view name) {
    return Change([&](SalvoFile& f) { return f.Remove(name); });
}

SalvoBook::Outcome SalvoBook::Protect(int output, bool on) {
    if (output < 1 || output > kChannelCount)
        return kDeclined;
    const Outcome outcome = Change([&](SalvoFile& f) {
        f.protectedOutput[output] = on;
        return true;
    });
    session.SetProtected(output, on);
    return outcome;
}

bool SalvoBook::Recall(std::string_view name) {
    const Salvo* salvo = file.Find(name);
    if (salvo == nullptr)
        return false;
    session.RequestRoutes(SalvoChanges(*salvo));
    return true;
}

}  // namespace corvane
