#include "engine/stored_names.h"

#include "engine/safe_name.h"
#include "library/unicode_text.h"

namespace morrowdeck {

namespace {

std::string joined(const std::string& folder, std::string_view name) {
    return folder.empty() ? std::string(name) : folder + "/" + std::string(name);
}

// The key under which a case-insensitive file system finds the name. ASCII is folded here:
// most names are ASCII, and folding them through Unicode would only cost time.
std::string folded(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        if (static_cast<unsigned char>(c) >= 0x80) return text::foldedKey(name);
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

std::size_t codePoints(std::string_view name) {
    std::size_t count = 0;
    for (const char c : name)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

}  // namespace

const std::string& StoredNames::name(const std::string& folder, std::string_view name) {
    std::string key = folder;
    key += '\0';
    key += name;
    if (const auto given = given_.find(key); given != given_.end()) return given->second;

    const std::string prefix = folder + '\0';
    const bool refused = SafeName::isRefused(name);
    std::string stored(name);
    if (held_ && (refused || taken_.contains(prefix + folded(name))) &&
        held_(joined(folder, name))) {
        taken_.insert(prefix + folded(name));  // as the earlier run named it
    } else {
        if (refused) stored = SafeName::encode(name);
        // The stored form, then quoting one more character each time: a name of n characters
        // has n more forms.
        const std::size_t forms = codePoints(name);
        for (std::size_t quoted = 0; !taken_.insert(prefix + folded(stored)).second; ++quoted) {
            if (quoted > forms) break;  // every form taken: the name shares one, as before
            stored = SafeName::encode(name, quoted);
        }
    }
    if (stored != name) changed_.emplace(joined(folder, stored), std::string(name));
    return given_.emplace(std::move(key), std::move(stored)).first->second;
}

std::string StoredNames::path(const std::string& folder,
                              const std::vector<std::string>& components) {
    std::string path = folder;
    for (const auto& component : components)
        path = joined(path, name(path, component));
    return path;
}

std::string changedNamesText(const std::map<std::string, std::string>& changed,
                             std::string_view lead) {
    if (changed.empty()) return {};
    // A long list says nothing more than its first names do, and would flood the log.
    constexpr std::size_t shown = 5;
    std::string text = std::to_string(changed.size()) + (changed.size() == 1 ? " name " : " names ");
    text += lead;
    text += ": ";
    std::size_t listed = 0;
    for (const auto& [stored, original] : changed) {
        if (listed == shown) break;
        if (listed++ > 0) text += ", ";
        text += "\u201C" + original + "\u201D \u2192 \u201C" + stored.substr(stored.rfind('/') + 1) +
                "\u201D";
    }
    if (changed.size() > shown) text += " and " + std::to_string(changed.size() - shown) + " more";
    return text + ".";
}

}  // namespace morrowdeck
