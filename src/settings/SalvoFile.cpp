#include "settings/SalvoFile.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/TextFormat.h"
#include "settings/IniFile.h"

namespace corvane {

namespace {

// Comma-separated numbers low..high into out; false when any item is not
// one (the good ones are still in out).
bool ReadNumbers(std::string_view text, int low, int high, std::vector<int>& out) {
    out.clear();
    text = Trim(text);
    if (text.empty())
        return true;
    bool ok = true;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        int value = 0;
        if (ParseInt(item, low, high, &value, 2))
            out.push_back(value);
        else
            ok = false;
        if (comma == std::string_view::npos)
            return ok;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

bool ValidSalvoName(std::string_view name) {
    if (name.empty() || name.size() > kMaxSalvoNameLength || name != Trim(name) ||
        name.front() == '[' || name.front() == ';' || name.find('=') != std::string_view::npos)
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

namespace {

constexpr int kLockWaitMs = 2000;
constexpr int kMaxDamagedCopies = 1000;

// Copies the damaged file beside it under the first free name; a copy with
// the same bytes already there is enough. "" when no copy could be made.
std::string KeepDamagedCopy(const std::string& path, const std::string& text) {
    for (int n = 0; n < kMaxDamagedCopies; ++n) {
        const std::string copy = path + ".bad" + (n == 0 ? "" : "." + std::to_string(n));
        std::error_code ec;
        if (!std::filesystem::exists(copy, ec) && !ec)
            return ReplaceFileText(copy, text) ? copy : "";
        if (ReadFileText(copy) == text)
            return copy;
    }
    return "";
}

}  // namespace

bool SalvoFile::Load(const std::string& path, std::string& problem) {
    *this = SalvoFile();
    problem.clear();
    stamp = StampOf(path);
    std::error_code ec;
    if (!stamp.exists && !std::filesystem::exists(path, ec) && !ec)
        return true;
    const std::optional<std::string> text = ReadFileText(path);
    if (!text) {
        unreadable = true;
        damage = problem = "cannot be read";
        return false;
    }
    enum { kOther, kProtect, kSalvo } section = kOther;
    int lineNumber = 0, badLines = 0, firstBad = 0;
    auto bad = [&] { firstBad = badLines++ == 0 ? lineNumber : firstBad; };
    for (std::size_t start = 0; start < text->size();) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        const std::string_view line = Trim(std::string_view(*text).substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            section = EqualsNoCase(line, "[PROTECT]") ? kProtect
                      : EqualsNoCase(line, "[SALVO]") ? kSalvo
                                                      : kOther;
            continue;
        }
        if (section == kOther)
            continue;  // a section a later version may add
        const std::size_t equals = line.find('=');
        std::vector<int> numbers;
        if (section == kProtect) {
            // Every output named stays protected, whatever else is wrong.
            const bool known = equals != std::string_view::npos &&
                               EqualsNoCase(Trim(line.substr(0, equals)), "Outputs");
            if (!ReadNumbers(line.substr(equals == std::string_view::npos ? 0 : equals + 1), 1,
                             kChannelCount, numbers) ||
                !known)
                bad();
            for (int output : numbers)
                protectedOutput[output] = true;
            continue;
        }
        const std::string_view name =
            Trim(line.substr(0, equals == std::string_view::npos ? 0 : equals));
        if (equals == std::string_view::npos ||
            !ReadNumbers(line.substr(equals + 1), 0, kChannelCount, numbers) ||
            numbers.size() != kChannelCount || !ValidSalvoName(name) || Find(name) != nullptr ||
            salvos.size() >= kMaxSalvos) {
            bad();
            continue;
        }
        Salvo& salvo = salvos.emplace_back();
        salvo.name = std::string(name);
        for (int o = 1; o <= kChannelCount; ++o)
            salvo.map[o] = numbers[o - 1];
    }
    if (badLines == 0)
        return true;
    damage = "line " + std::to_string(firstBad) +
             (badLines > 1 ? " and " + std::to_string(badLines - 1) + " more" : "") +
             " not understood";
    // Keep what the user had: the next save would replace it.
    damagedCopy = KeepDamagedCopy(path, *text);
    problem = damage;
    return false;
}

std::string SalvoFile::DamageReport(const std::string& path) const {
    if (unreadable)
        return path + " cannot be read: no salvo or protected output is known";
    if (damage.empty())
        return "";
    return path + " damaged (" + damage + "): the salvos and protected outputs that could be " +
           "read are used; the file as it was is kept as " +
           (damagedCopy.empty() ? "nothing (no copy could be written)" : damagedCopy);
}

bool SalvoFile::Update(const std::string& path, const std::function<bool(SalvoFile&)>& change,
                       std::string& problem) {
    const FileLock lock(path + ".lock", kLockWaitMs);
    if (lock.busy) {
        Load(path, problem);
        problem = "locked by another program";
        return false;
    }
    // A folder that refuses the lock file refuses everyone's: go on without.
    Load(path, problem);
    if (unreadable)
        return false;  // never replace a file that could not be read
    problem.clear();
    if (!change(*this))
        return false;
    if (!Save(path)) {
        problem = "could not be saved";
        std::string ignored;
        Load(path, ignored);
        return false;
    }
    damage.clear();
    damagedCopy.clear();
    stamp = StampOf(path);
    return true;
}

bool SalvoFile::Save(const std::string& path) const {
    std::string text = "; Corvane salvos and protected outputs\n[PROTECT]\nOutputs=";
    bool first = true;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (protectedOutput[o]) {
            text += (first ? "" : ",") + std::to_string(o);
            first = false;
        }
    }
    text += "\n[SALVO]\n";
    for (const Salvo& salvo : salvos) {
        text += salvo.name + "=";
        for (int o = 1; o <= kChannelCount; ++o) {
            char pair[8];
            std::snprintf(pair, sizeof pair, o == kChannelCount ? "%02d\n" : "%02d,", salvo.map[o]);
            text += pair;
        }
    }
    return ReplaceFileText(path, text);
}

Salvo* SalvoFile::Find(std::string_view name) {
    for (Salvo& salvo : salvos) {
        if (salvo.name == name)
            return &salvo;
    }
    return nullptr;
}

bool SalvoFile::Store(std::string_view name, const int (&map)[kChannelTableSize]) {
    if (!ValidSalvoName(name))
        return false;
    Salvo* salvo = Find(name);
    if (salvo == nullptr) {
        if (salvos.size() >= kMaxSalvos)
            return false;
        salvo = &salvos.emplace_back();
        salvo->name = std::string(name);
    }
    for (int o = 0; o < kChannelTableSize; ++o)
        salvo->map[o] = map[o] >= 0 && map[o] <= kChannelCount ? map[o] : 0;
    return true;
}

bool SalvoFile::Remove(std::string_view name) {
    Salvo* salvo = Find(name);
    if (salvo == nullptr)
        return false;
    salvos.erase(salvos.begin() + (salvo - salvos.data()));
    return true;
}

bool SalvoFile::Rename(std::string_view from, std::string_view to) {
    Salvo* salvo = Find(from);
    if (salvo == nullptr || !ValidSalvoName(to) || (from != to && Find(to) != nullptr))
        return false;
    salvo->name = std::string(to);
    return true;
}

const Salvo* SalvoFile::Matching(const int (&map)[kChannelTableSize]) const {
    for (const Salvo& salvo : salvos) {
        bool same = true;
        for (int o = 1; o <= kChannelCount && same; ++o)
            same = salvo.map[o] == map[o];
        if (same)
            return &salvo;
    }
    return nullptr;
}

std::vector<RouteChange> SalvoChanges(const Salvo& salvo) {
    std::vector<RouteChange> changes;
    for (int o = 1; o <= kChannelCount; ++o)
        changes.push_back({o, salvo.map[o]});
    return changes;
}

void SalvoFile::ApplyProtection(RoutingMap& routing) const {
    for (int o = 1; o <= kChannelCount; ++o) {
        if (protectedOutput[o])
            routing.lockOwner[o] = kOperator;
        else if (routing.lockOwner[o] == kOperator)
            routing.lockOwner[o] = 0;
    }
}

}  // namespace corvane
