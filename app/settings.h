#pragma once
// The settings file's keys, all in one table (settings.cpp): section, name, kind, default and, for
// numbers, the range the settings dialog allows. A key held in AppState is one line of the table,
// named by its field: start-up reads it and the main window writes it back without more code.
#include "app/ini_file.h"

#include <QString>

#include <climits>
#include <cstdlib>
#include <span>
#include <type_traits>
#include <variant>

struct AppState;

namespace settings {

struct Range {
    int min = INT_MIN;
    int max = INT_MAX;
    constexpr bool contains(int value) const { return min <= value && value <= max; }
};

// The ports a socket can take. The settings dialog lets larger numbers through; the start and the
// command line refuse them.
constexpr Range TcpPorts{1, 65535};

// The window whose destroy handler writes the key back; the send window's runs first.
enum class Writer { MainWindow, SendWindow };

// T is the kind: int, bool or QString.
template <typename T>
struct Key {
    const char* section;
    const char* name;
    T fallback;
    Range range;                  // numbers only
    T AppState::*field = nullptr; // none: its window keeps the value itself
    Writer writer = Writer::MainWindow;
};

using AnyKey = std::variant<Key<int>, Key<bool>, Key<QString>>;

// The send window's place on the screen, which no AppState field holds.
inline constexpr Key<int> SenderLeft{"sender", "left", 150, {}, nullptr, Writer::SendWindow};
inline constexpr Key<int> SenderTop{"sender", "top", 150, {}, nullptr, Writer::SendWindow};

// Every key, in the order the main window writes its own back.
std::span<const AnyKey> table();

// The key of an AppState field.
template <typename T>
const Key<T>& key(T AppState::*field)
{
    for (const AnyKey& any : table()) {
        if (const auto* found = std::get_if<Key<T>>(&any); found && found->field == field)
            return *found;
    }
    std::abort(); // a field left out of the table
}

// The file's value, or the key's default.
template <typename T>
T read(const TIniFile& ini, const Key<T>& key)
{
    const QLatin1String section(key.section), name(key.name);
    if constexpr (std::is_same_v<T, int>)
        return ini.ReadInteger(section, name, key.fallback);
    else if constexpr (std::is_same_v<T, bool>)
        return ini.ReadBool(section, name, key.fallback);
    else
        return ini.ReadString(section, name, key.fallback);
}

template <typename T>
void write(TIniFile& ini, const Key<T>& key, const T& value)
{
    const QLatin1String section(key.section), name(key.name);
    if constexpr (std::is_same_v<T, int>)
        ini.WriteInteger(section, name, value);
    else if constexpr (std::is_same_v<T, bool>)
        ini.WriteBool(section, name, value);
    else
        ini.WriteString(section, name, value);
}

// Every AppState field that has a key: its default; what the file holds.
void setDefaults(AppState& app);
void load(const TIniFile& ini, AppState& app);
// The main window's keys, from `app`, in table order; a refused write throws and the keys after
// it keep what the file held.
void saveMainWindowKeys(TIniFile& ini, const AppState& app);

// Why the settings file's port cannot be used; the start's box and the command line both say it.
QString invalidPortText(const QString& settingsPath, int port);

} // namespace settings
