#include "settings/SalvoFile.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "settings/IniFile.h"

namespace corvane {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Comma-separated numbers low..high; exactly `count` of them unless count is 0.
bool ReadNumbers(std::string_view text, int low, int high, std::vector<int>& out) {
    out.clear();
    text = Trim(text);
    if (text.empty())
        return true;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        if (item.empty() || item.size() > 2 ||
            item.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        const int value = std::stoi(std::string(item));
        if (value < low || value > high)
            return false;
        out.push_back(value);
        if (comma == std::string_view::npos)
            return true;
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

bool SalvoFile::Load(const std::string& path, std::string& problem) {
    *this = SalvoFile();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return true;
    const std::optional<std::string> text = ReadFileText(path);
    SalvoFile loaded;
    enum { kOther, kProtect, kSalvo } section = kOther;
    int lineNumber = 0;
    std::size_t start = 0;
    problem.clear();
    while (text && problem.empty() && start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        const std::string_view line = Trim(std::string_view(*text).substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            section = SameWord(line, "[PROTECT]") ? kProtect
                      : SameWord(line, "[SALVO]") ? kSalvo
                                                  : kOther;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (section == kOther)
            continue;  // a section a later version may add
        std::vector<int> numbers;
        if (equals == std::string_view::npos ||
            !ReadNumbers(line.substr(equals + 1), section == kSalvo ? 0 : 1, kChannelCount,
                         numbers)) {
            problem = "line " + std::to_string(lineNumber);
        } else if (section == kProtect) {
            if (!SameWord(Trim(line.substr(0, equals)), "Outputs"))
                problem = "line " + std::to_string(lineNumber);
            for (int output : numbers)
                loaded.protectedOutput[output] = true;
        } else {
            const std::string_view name = Trim(line.substr(0, equals));
            Salvo salvo;
            salvo.name = std::string(name);
            if (!ValidSalvoName(name) || numbers.size() != kChannelCount ||
                loaded.Find(name) != nullptr || loaded.salvos.size() >= kMaxSalvos) {
                problem = "line " + std::to_string(lineNumber);
            } else {
                for (int o = 1; o <= kChannelCount; ++o)
                    salvo.map[o] = numbers[o - 1];
                loaded.salvos.push_back(salvo);
            }
        }
    }
    if (!text)
        problem = "cannot be read";
    if (!problem.empty()) {
        // Keep what the user had: the next save would replace it.
        std::filesystem::copy_file(path, path + ".bad",
                                   std::filesystem::copy_options::overwrite_existing, ec);
        return false;
    }
    *this = std::move(loaded);
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

void SalvoFile::TakeProtection(const RoutingMap& routing) {
    for (int o = 1; o <= kChannelCount; ++o)
        protectedOutput[o] = routing.Protected(o);
}

}  // namespace corvane
