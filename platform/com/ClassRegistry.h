#pragma once

// The per-user class registry: the keys and values that component libraries register, kept in a
// small text file. Key paths are relative to the classes root and use '\' between key names;
// like the registry they mirror, key and value names compare without regard to letter case.

#include "platform/com/Com.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrion::com {

// $XDG_CONFIG_HOME/Kestrion/classes.reg, or ~/.config/Kestrion/classes.reg.
std::filesystem::path defaultClassRegistryPath();

// The registry's content in memory. An empty value name stands for the key's default value.
class RegistryTree {
public:
    bool hasKey(std::string_view key) const;
    std::optional<std::string> value(std::string_view key, std::string_view name = {}) const;
    // Direct subkeys of key (or of the root for an empty key), with their spelling as written.
    std::vector<std::string> subkeys(std::string_view key) const;
    // Names of key's values, the default value (if set) first as "".
    std::vector<std::string> valueNames(std::string_view key) const;

    // Writes create every missing key on the path. A key path must be non-empty, with no empty
    // key names and no line breaks; a value must have no line break in its name.
    HRESULT createKey(std::string_view key);
    HRESULT setValue(std::string_view key, std::string_view name, std::string_view value);
    // Removes the key with all its subkeys; false when there was no such key.
    bool deleteKey(std::string_view key);

    std::string serialize() const;
    static std::optional<RegistryTree> parse(std::string_view text);

    friend bool operator==(const RegistryTree&, const RegistryTree&) = default;

private:
    struct Entry {
        std::string name; // as last written
        std::string text;
        friend bool operator==(const Entry&, const Entry&) = default;
    };
    struct Key {
        std::string path;                    // as first written
        std::map<std::string, Entry> values; // by lower-case name; "" is the default value
        friend bool operator==(const Key&, const Key&) = default;
    };
    // Orders '\\' before every other character, so that a key's subkeys follow it directly.
    struct PathOrder {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    std::map<std::string, Key, PathOrder> keys_; // by lower-case path
};

// The registry file. Every change is a locked read-modify-write that replaces the file atomically,
// so a reader never sees half a file and two registering processes do not lose each other's keys.
class ClassRegistry {
public:
    explicit ClassRegistry(std::filesystem::path file = defaultClassRegistryPath());

    const std::filesystem::path& file() const { return file_; }

    // A missing file reads as an empty registry; an unreadable or malformed one is REGDB_E_READREGDB.
    HRESULT read(RegistryTree& tree) const;
    // Applies change to the current content and writes the result unless change fails.
    HRESULT update(const std::function<HRESULT(RegistryTree&)>& change) const;

    std::optional<std::string> value(std::string_view key, std::string_view name = {}) const;
    bool hasKey(std::string_view key) const;
    HRESULT createKey(std::string_view key) const;
    HRESULT setValue(std::string_view key, std::string_view name, std::string_view value) const;
    HRESULT deleteKey(std::string_view key) const;

private:
    std::filesystem::path file_;
};

} // namespace kestrion::com
