// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include "settings/ini_file.h"

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

namespace nimbo {

namespace {

// Beside Input in [Wave]; read and written after the other keys of the section.
constexpr const char* kInputIdKey = "InputId";
// The weak-signal receiver chosen instead of the standard one; absent means not chosen.
constexpr const char* kWeakKey = "Weak";
// I/Q input; absent means audio as DemodType says.
constexpr const char* kIqKey = "IQ";
// The sonde type, 0 RS92 or 1 RS41; absent means the RS92.
constexpr const char* kSondeKey = "Sonde";

// Visits every key in file order: visit(section, key, int& value) or with bool&.
template <typename S, typename Visit> void forEachKey(S& s, Visit&& visit) {
    visit("Form", "MainTop", s.MainTop);
    visit("Form", "MainLeft", s.MainLeft);
    visit("Form", "MainWidth", s.MainWidth);
    visit("Form", "MainHeight", s.MainHeight);
    visit("Form", "MainMaxmum", s.MainMaxmum);
    visit("Form", "GraphScr", s.GraphScr);
    visit("Form", "Logging", s.Logging);
    visit("Wave", "Input", s.Input);
    visit("Wave", "DemodType", s.DemodType);
    visit("Wave", "InputCh", s.InputCh);
    visit("Wave", "SymbolInv", s.SymbolInv);
    const struct {
        const char* name;
        decltype((s.Press)) values; // const when s is const
    } groups[] = {{"Press", s.Press}, {"Temp", s.Temp}, {"Humd", s.Humd}};
    for (const auto& group : groups)
        for (std::size_t i = 0; i < group.values.size(); ++i)
            visit("Set", group.name + std::to_string(i + 1), group.values[i]);
}

// A text stored so that reading gives it back: the reader trims blanks and drops one pair
// of surrounding quotes, so a text it would change goes between double quotes.
std::string storedText(const std::string& text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const bool quoted = text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
                        text.back() == text.front();
    if (text.empty() || (!quoted && !blank(text.front()) && !blank(text.back()))) return text;
    return '"' + text + '"';
}

} // namespace

std::string settingsPathFor(const std::string& executablePath) {
#ifdef _WIN32
    const std::size_t slash = executablePath.find_last_of("/\\");
#else
    const std::size_t slash = executablePath.rfind('/');
#endif
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = executablePath.rfind('.');
    // A dot that starts the name (".nimbo") marks a hidden file, not an extension.
    if (dot != std::string::npos && dot > nameStart) return executablePath.substr(0, dot) + ".ini";
    return executablePath + ".ini";
}

Settings loadSettings(const std::string& iniPath) {
    Settings s;
    IniFile ini;
    if (!ini.load(iniPath, nullptr)) return s;
    forEachKey(s, [&](const std::string& section, const std::string& key, auto& value) {
        if constexpr (std::is_same_v<std::remove_reference_t<decltype(value)>, bool>)
            value = ini.readInteger(section, key, value ? 1 : 0) != 0;
        else
            value = ini.readInteger(section, key, value);
    });
    // Normalised once here, so the chain and the dialog agree on a hand-edited value.
    s.DemodType = normalisedDemodType(s.DemodType);
    s.InputId = ini.readString("Wave", kInputIdKey, "");
    s.Weak = ini.readInteger("Wave", kWeakKey, 0) != 0;
    s.IQ = ini.readInteger("Wave", kIqKey, 0) != 0;
    s.Sonde = ini.readInteger("Wave", kSondeKey, 0);
    return s;
}

bool saveSettings(const std::string& iniPath, const Settings& s, std::string* error) {
    IniFile ini;
    // Start from the file as it is, so that lines we do not own survive; if it exists but
    // cannot be read, writing now would throw those lines away.
    if (!ini.load(iniPath, error)) return false;
    forEachKey(s, [&](const std::string& section, const std::string& key, const auto& value) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(value)>, bool>)
            ini.writeString(section, key, value ? "1" : "0");
        else
            ini.writeString(section, key, std::to_string(value));
    });
    // A line break can never be a stored value, so it tells a missing key from an empty one.
    if (!s.InputId.empty() || ini.readString("Wave", kInputIdKey, "\n") != "\n")
        ini.writeString("Wave", kInputIdKey, storedText(s.InputId));
    // Keys added later: a file that never had them stays as it was.
    for (const auto& [key, on] : {std::pair{kWeakKey, s.Weak}, std::pair{kIqKey, s.IQ}})
        if (on || ini.readString("Wave", key, "\n") != "\n")
            ini.writeString("Wave", key, on ? "1" : "0");
    if (s.Sonde != 0 || ini.readString("Wave", kSondeKey, "\n") != "\n")
        ini.writeString("Wave", kSondeKey, std::to_string(s.Sonde));
    return ini.save(iniPath, error);
}

} // namespace nimbo
