#include "platform/com/ClassRegistry.h"

#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestrion::com {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool validKeyPath(std::string_view key) {
    if (key.empty() || key.front() == '\\' || key.back() == '\\')
        return false;
    if (key.find("\\\\") != std::string_view::npos)
        return false;
    return key.find_first_of("\r\n") == std::string_view::npos;
}

bool validValueName(std::string_view name) {
    return name.find_first_of("\r\n") == std::string_view::npos;
}

std::string quoteText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out + '"';
}

// Reads a quoted text at the start of line and moves line past it.
std::optional<std::string> unquote(std::string_view& line) {
    if (line.empty() || line.front() != '"')
        return std::nullopt;
    std::string out;
    for (size_t i = 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            line.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (++i == line.size())
                return std::nullopt;
            switch (line[i]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
            }
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

std::filesystem::path defaultClassRegistryPath() {
    std::filesystem::path base;
    // Relative values are to be ignored, as the base-directory rules say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        base = config;
    else
        base = homeFolder() / ".config";
    return base / "Kestrion" / "classes.reg";
}

bool RegistryTree::PathOrder::operator()(const std::string& a, const std::string& b) const {
    auto rank = [](char c) { return c == '\\' ? 0 : static_cast<unsigned char>(c) + 1; };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return rank(x) < rank(y); });
}

bool RegistryTree::hasKey(std::string_view key) const {
    return keys_.count(lower(key)) != 0;
}

std::optional<std::string> RegistryTree::value(std::string_view key, std::string_view name) const {
    auto k = keys_.find(lower(key));
    if (k == keys_.end())
        return std::nullopt;
    auto v = k->second.values.find(lower(name));
    if (v == k->second.values.end())
        return std::nullopt;
    return v->second.text;
}

std::vector<std::string> RegistryTree::subkeys(std::string_view key) const {
    const std::string prefix = key.empty() ? std::string() : lower(key) + '\\';
    std::vector<std::string> out;
    for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0)
            break;
        std::string_view rest = std::string_view(it->second.path).substr(prefix.size());
        if (rest.find('\\') == std::string_view::npos)
            out.emplace_back(rest);
    }
    return out;
}

std::vector<std::string> RegistryTree::valueNames(std::string_view key) const {
    std::vector<std::string> out;
    auto k = keys_.find(lower(key));
    if (k != keys_.end())
        for (const auto& [_, entry] : k->second.values)
            out.push_back(entry.name);
    return out;
}

HRESULT RegistryTree::createKey(std::string_view key) {
    if (!validKeyPath(key))
        return E_INVALIDARG;
    for (size_t end = key.find('\\');; end = key.find('\\', end + 1)) {
        std::string_view path = key.substr(0, end);
        auto& entry = keys_[lower(path)];
        if (entry.path.empty())
            entry.path = path;
        if (end == std::string_view::npos)
            return S_OK;
    }
}

HRESULT RegistryTree::setValue(std::string_view key, std::string_view name, std::string_view value) {
    if (!validValueName(name))
        return E_INVALIDARG;
    if (HRESULT hr = createKey(key); Failed(hr))
        return hr;
    keys_[lower(key)].values[lower(name)] = Entry{std::string(name), std::string(value)};
    return S_OK;
}

bool RegistryTree::deleteKey(std::string_view key) {
    const std::string path = lower(key);
    auto it = keys_.find(path);
    if (it == keys_.end())
        return false;
    keys_.erase(it);
    const std::string prefix = path + '\\';
    for (it = keys_.lower_bound(prefix);
         it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
        it = keys_.erase(it);
    return true;
}

std::string RegistryTree::serialize() const {
    std::string out = "; Kestrion per-user class registry\n";
    for (const auto& [_, key] : keys_) {
        out += "\n[" + key.path + "]\n";
        for (const auto& [lowerName, entry] : key.values)
            out += (lowerName.empty() ? std::string("@") : quoteText(entry.name)) + '=' +
                   quoteText(entry.text) + '\n';
    }
    return out;
}

std::optional<RegistryTree> RegistryTree::parse(std::string_view text) {
    RegistryTree tree;
    std::string current;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return std::nullopt;
            current = line.substr(1, line.size() - 2);
            if (Failed(tree.createKey(current)))
                return std::nullopt;
            continue;
        }
        if (current.empty())
            return std::nullopt;
        std::optional<std::string> name;
        if (line.front() == '@') {
            line.remove_prefix(1);
            name = std::string();
        } else {
            name = unquote(line);
        }
        if (!name || line.empty() || line.front() != '=')
            return std::nullopt;
        line.remove_prefix(1);
        std::optional<std::string> value = unquote(line);
        if (!value || !line.empty() || Failed(tree.setValue(current, *name, *value)))
            return std::nullopt;
    }
    return tree;
}

ClassRegistry::ClassRegistry(std::filesystem::path file) : file_(std::move(file)) {}

HRESULT ClassRegistry::read(RegistryTree& tree) const {
    platform::UniqueFd fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno != ENOENT)
            return REGDB_E_READREGDB;
        tree = RegistryTree{};
        return S_OK;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return REGDB_E_READREGDB;
        if (n == 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    auto parsed = RegistryTree::parse(text);
    if (!parsed)
        return REGDB_E_READREGDB;
    tree = std::move(*parsed);
    return S_OK;
}

HRESULT ClassRegistry::update(const std::function<HRESULT(RegistryTree&)>& change) const {
    std::error_code ec;
    const std::filesystem::path folder = file_.parent_path();
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return REGDB_E_WRITEREGDB;

    // The lock lives in its own file because the registry file itself is replaced by rename.
    const std::string lockName = file_.string() + ".lock";
    platform::UniqueFd lock(::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock)
        return REGDB_E_WRITEREGDB;
    while (::flock(lock.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return REGDB_E_WRITEREGDB;

    RegistryTree tree;
    if (HRESULT hr = read(tree); Failed(hr))
        return hr;
    const HRESULT changed = change(tree);
    if (Failed(changed))
        return changed;

    const std::string temp = file_.string() + ".new";
    {
        platform::UniqueFd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!out)
            return REGDB_E_WRITEREGDB;
        bool written = writeAll(out.get(), tree.serialize()) && ::fsync(out.get()) == 0;
        if (out.close() != 0 || !written) {
            ::unlink(temp.c_str());
            return REGDB_E_WRITEREGDB;
        }
    }
    if (::rename(temp.c_str(), file_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return REGDB_E_WRITEREGDB;
    }
    // Makes the rename itself durable; a failure here leaves a complete file either way.
    platform::UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
    return changed;
}

std::optional<std::string> ClassRegistry::value(std::string_view key, std::string_view name) const {
    RegistryTree tree;
    if (Failed(read(tree)))
        return std::nullopt;
    return tree.value(key, name);
}

bool ClassRegistry::hasKey(std::string_view key) const {
    RegistryTree tree;
    return Succeeded(read(tree)) && tree.hasKey(key);
}

HRESULT ClassRegistry::createKey(std::string_view key) const {
    return update([&](RegistryTree& tree) { return tree.createKey(key); });
}

HRESULT ClassRegistry::setValue(std::string_view key, std::string_view name, std::string_view value) const {
    return update([&](RegistryTree& tree) { return tree.setValue(key, name, value); });
}

HRESULT ClassRegistry::deleteKey(std::string_view key) const {
    return update([&](RegistryTree& tree) { return tree.deleteKey(key) ? S_OK : S_FALSE; });
}

} // namespace kestrion::com
