#include "shell/system_tree.h"

#include <fstream>

#include "core/text.h"

namespace cat {

namespace fs = std::filesystem;

std::string Inside(const fs::path& root, const fs::path& path) {
    const fs::path relative = path.lexically_relative(root);
    return relative.empty() || relative.native().rfind("..", 0) == 0
               ? path.string()
               : (fs::path("/") / relative).lexically_normal().string();
}

std::string Resolved(const fs::path& root, const std::string& device) {
    std::error_code error;
    const fs::path real = fs::canonical(root / fs::path(device).relative_path(), error);
    return error ? device : Inside(root, real);
}

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return std::string(Trim(line, kBlanks));
}

std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator entry(folder, error);
    for (const fs::directory_iterator end; !error && entry != end; entry.increment(error))
        entries.push_back(entry->path());
    return entries;
}

std::optional<UsbPlace> UsbPlaceOf(const fs::path& root, const std::string& device) {
    std::error_code error;
    fs::path at =
        fs::canonical(root / "sys/class/tty" / fs::path(device).filename() / "device", error);
    if (error) return std::nullopt;
    const fs::path top = root / "sys";
    for (fs::path below = at; at.string().size() > top.string().size();
         below = at, at = at.parent_path())
        if (fs::exists(at / "idVendor", error)) return UsbPlace{at, below};
    return std::nullopt;
}

}  // namespace cat
