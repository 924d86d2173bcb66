// Windows paths recorded under Wine ("C:\DOCUME~1\Me\Eudora\NNdbase.txt") resolved to the files
// Wine maps them to: the drive through $WINEPREFIX/dosdevices/<letter>:, then each component
// matched the way Windows would find it (case ignored, 8.3 short names expanded).
#include <system_error>
#include <vector>

#include "platform/NativePath.h"
#include "platform/WineRegistry.h"

namespace tarvelle::platform {

namespace {

namespace fs = std::filesystem;

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Windows' own short names ("DOCUME~1", "APPLIC~1.TXT"): the long name without spaces (and
// without dots before its extension) starts with the part before '~', and its extension starts
// with the short extension. Only the shape is checked; the number after '~' cannot be checked.
bool AbbreviatesAsWindows(std::string_view shortName, std::string_view longName) {
    const std::size_t shortDot = shortName.rfind('.');
    const std::string_view shortBase = shortName.substr(0, shortDot);
    const std::string_view shortExt =
        shortDot == std::string_view::npos ? std::string_view() : shortName.substr(shortDot + 1);
    const std::size_t tilde = shortBase.rfind('~');
    if (tilde == std::string_view::npos || tilde == 0 || tilde + 1 == shortBase.size()) {
        return false;
    }
    for (char c : shortBase.substr(tilde + 1)) {
        if (!IsDigit(c)) return false;
    }
    if (shortBase.size() > 8 || shortExt.size() > 3) return false;

    std::string compact;
    for (char c : longName) {
        if (c != ' ') compact.push_back(c);
    }
    const std::size_t longDot = compact.rfind('.');
    std::string base;
    std::string ext;
    for (std::size_t i = 0; i < compact.size(); ++i) {
        if (longDot != std::string::npos && i > longDot) {
            ext.push_back(compact[i]);
        } else if (compact[i] != '.') {
            base.push_back(compact[i]);
        }
    }
    // Characters a short name cannot hold become '_'.
    for (std::string* part : {&base, &ext}) {
        for (char& c : *part) {
            if (std::string_view("+,;=[]").find(c) != std::string_view::npos) c = '_';
        }
    }
    if (!StartsWithIgnoreCase(base, shortBase.substr(0, tilde))) return false;
    if (shortExt.empty()) return ext.empty();
    return StartsWithIgnoreCase(ext, shortExt);
}

// The one entry of `dir` that `component` names; std::nullopt when none or several do.
std::optional<std::string> MatchEntry(const fs::path& dir, const std::string& component,
                                      bool needDirectory) {
    std::error_code ec;
    const auto usable = [&](const fs::path& path) {
        std::error_code statusError;
        const auto status = fs::status(path, statusError);
        if (statusError || !fs::exists(status)) return false;
        return !needDirectory || fs::is_directory(status);
    };
    if (usable(dir / component)) return component;

    std::vector<std::string> caseMatches;
    std::vector<std::string> wineShort;
    std::vector<std::string> windowsShort;
    const bool maybeShort = component.find('~') != std::string::npos;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool caseMatch = EqualsIgnoreCase(name, component);
        const bool wineMatch = maybeShort && !caseMatch &&
                               (EqualsIgnoreCase(WineHashedShortName(name), component) ||
                                EqualsIgnoreCase(WineHashedShortName(name, true), component));
        const bool windowsMatch =
            maybeShort && !caseMatch && !wineMatch && AbbreviatesAsWindows(component, name);
        if (!caseMatch && !wineMatch && !windowsMatch) continue;
        if (!usable(it->path())) continue;
        if (caseMatch) caseMatches.push_back(name);
        if (wineMatch) wineShort.push_back(name);
        if (windowsMatch) windowsShort.push_back(name);
    }
    if (ec) return std::nullopt;
    for (const auto* found : {&caseMatches, &wineShort, &windowsShort}) {
        if (found->size() == 1) return found->front();
        if (found->size() > 1) return std::nullopt;  // ambiguous: as good as missing
    }
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> ResolveNativePath(const std::string& text) {
    const bool hasDrive = text.size() >= 2 && IsAsciiLetter(text[0]) && text[1] == ':';
    if (!hasDrive) {
        // Rooted without a drive ("\NNdbase.txt") or UNC: nothing to map it to.
        if (!text.empty() && text[0] == '\\') return std::nullopt;
        return fs::path(text);
    }
    const auto prefix = WinePrefixDirectory();
    if (!prefix) return std::nullopt;
    const char drive[] = {static_cast<char>(text[0] | 0x20), ':', '\0'};
    fs::path current = *prefix / "dosdevices" / drive;
    std::error_code ec;
    if (!fs::is_directory(current, ec)) return std::nullopt;

    std::vector<std::string> components;
    std::size_t start = 2;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\\/", start);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(start, end - start);
        if (part == "..") {
            if (!components.empty()) components.pop_back();
        } else if (!part.empty() && part != ".") {
            components.push_back(part);
        }
        start = end + 1;
    }
    for (std::size_t i = 0; i < components.size(); ++i) {
        const bool last = i + 1 == components.size();
        const auto entry = MatchEntry(current, components[i], !last);
        if (!entry) return std::nullopt;
        current /= *entry;
    }
    return current;
}

}  // namespace tarvelle::platform
