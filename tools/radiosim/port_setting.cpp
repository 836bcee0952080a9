#include "tools/radiosim/port_setting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace radiosim {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// INI values with separators or quotes must be quoted, or the reader splits them into a list.
std::string IniValue(const std::string& value) {
    bool plain = !value.empty();
    for (char c : value) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '_' || c == '-' ||
                          c == '+';
        plain = plain && safe;
    }
    if (plain) return value;
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string MakeFolders(const std::string& file) {
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            return Describe("cannot create folder", folder);
        }
    }
    return {};
}

bool ReadAll(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        out.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

// The file itself when `file` is a symlink: we write through the link, never over it.
std::string ResolveTarget(const std::string& file) {
    if (char resolved[PATH_MAX]; ::realpath(file.c_str(), resolved) != nullptr) return resolved;
    return file;
}

// The file's text and permissions; a missing file is empty, gets the folders it needs and the
// permissions the umask allows.
std::string LoadExisting(const std::string& target, std::string& text, mode_t& mode) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
        if (!ReadAll(target, text)) return Describe("cannot read", target);
        return {};
    }
    if (errno != ENOENT) return Describe("cannot open", target);
    if (std::string failure = MakeFolders(target); !failure.empty()) return failure;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
    return {};
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Replaces the key's line inside [Ports], or adds it after the section's last entry, or adds the
// section at the end. Comments and other sections stay where they are.
void PutEntry(std::vector<std::string>& lines, const std::string& key, const std::string& entry) {
    bool in_ports = false;
    bool seen_ports = false;
    bool written = false;
    std::size_t insert_at = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = Trim(lines[i]);
        if (!line.empty() && line.front() == '[') {
            if (in_ports && !written) break;  // the end of [Ports]: add the key there
            in_ports = line == "[Ports]";
            if (in_ports) {
                seen_ports = true;
                insert_at = i + 1;
            }
            continue;
        }
        if (!in_ports || line.empty() || line.front() == ';' || line.front() == '#') continue;
        insert_at = i + 1;
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && Trim(line.substr(0, equals)) == key) {
            lines[i] = entry;
            written = true;
        }
    }
    if (written) return;
    if (seen_ports) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
        return;
    }
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.emplace_back("[Ports]");
    lines.push_back(entry);
}

// Writes a sibling file and renames it over the target, so a reader sees the old file or the
// new one, never half of one.
std::string ReplaceFile(const std::string& target, const std::string& text, mode_t mode) {
    std::string temporary = target + ".radiosim-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return Describe("cannot write next to", target);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            std::string failure = Describe("cannot write", temporary);
            ::close(fd);
            ::unlink(temporary.c_str());
            return failure;
        }
        done += static_cast<std::size_t>(wrote);
    }
    ::fchmod(fd, mode);
    if (::close(fd) != 0 || ::rename(temporary.c_str(), target.c_str()) != 0) {
        std::string failure = Describe("cannot replace", target);
        ::unlink(temporary.c_str());
        return failure;
    }
    return {};
}

}  // namespace

std::string DefaultSettingsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.config";
    }
    return base + "/CAT/CAT.ini";
}

std::string WritePortSetting(const std::string& file, int com, const std::string& device) {
    const std::string target = ResolveTarget(file);
    std::string text;
    mode_t mode = 0666;
    if (std::string failure = LoadExisting(target, text, mode); !failure.empty()) return failure;
    std::vector<std::string> lines = SplitLines(text);
    const std::string key = "Com" + std::to_string(com);
    PutEntry(lines, key, key + "=" + IniValue(device));
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return ReplaceFile(target, out, mode);
}

}  // namespace radiosim
