#pragma once

// A made-up system tree in a fresh temporary folder (/sys, /dev, /proc, /etc as the shell's
// readers see them below a root), removed with the object.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace cat::test {

class MadeUpTree {
public:
    MadeUpTree() {
        char name[] = "/tmp/made_up_tree_XXXXXX";
        root = ::mkdtemp(name);
    }
    ~MadeUpTree() { std::filesystem::remove_all(root); }
    MadeUpTree(const MadeUpTree&) = delete;
    MadeUpTree& operator=(const MadeUpTree&) = delete;

    void File(const std::string& path, const std::string& text) {
        std::filesystem::create_directories((root / path).parent_path());
        std::ofstream(root / path) << text;
    }
    // `target` as written: relative to the link's folder, or absolute (outside the tree too).
    void Link(const std::string& path, const std::string& target) {
        std::filesystem::create_directories((root / path).parent_path());
        std::filesystem::remove_all(root / path);
        std::filesystem::create_symlink(target, root / path);
    }

    std::filesystem::path root;
};

}  // namespace cat::test
