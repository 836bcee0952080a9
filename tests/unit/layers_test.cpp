// The layering read from the include lines: each layer includes only itself and the layers below
// it, no two folders include each other, Qt appears only in the shell, and the virtual radio
// shares nothing with the program. The build already refuses an include that climbs the layers;
// this names every offending line at once, and catches what the build cannot (a cycle inside a
// layer, a Qt header in a folder that happens to link Qt).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// From the bottom up; a folder's rank is its first path component's.
const std::map<std::string, int> kLayerRank = {
    {"core", 0}, {"protocols", 1}, {"control", 2}, {"link", 3}, {"doctor", 4}, {"shell", 5}, {"qt", 6},
};
// The fuzz folder for the shell's settings load, the one fuzz target built with Qt.
const std::set<std::string> kQtAllowed = {"qt", "tools", "tests", "bench", "packaging", "fuzz"};

struct Include {
    std::string fromFile;  // relative to the source root
    std::string target;    // as written between the quotes or brackets
    bool quoted;
};

std::string TopFolder(const std::string& path) { return path.substr(0, path.find('/')); }

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::vector<Include> ReadIncludes(const fs::path& root) {
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<Include> includes;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(entry.path(), root).generic_string();
        if (rel.rfind("build", 0) == 0 || rel.rfind(".git", 0) == 0) continue;
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
        std::ifstream in(entry.path());
        std::smatch m;
        for (std::string line; std::getline(in, line);)
            if (std::regex_search(line, m, kInclude)) includes.push_back({rel, m[2], m[1] == "\""});
    }
    return includes;
}

class Layers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { includes_ = ReadIncludes(CAT_SOURCE_DIR); }
    static std::vector<Include> includes_;
};
std::vector<Include> Layers::includes_;

TEST_F(Layers, SourcesAreFound) {
    // A wrong root would make every other check pass vacuously.
    EXPECT_GT(includes_.size(), 100u);
}

TEST_F(Layers, NoIncludeClimbsTheLayers) {
    for (const Include& inc : includes_) {
        if (!inc.quoted) continue;
        const auto from = kLayerRank.find(TopFolder(inc.fromFile));
        const auto to = kLayerRank.find(TopFolder(inc.target));
        if (from == kLayerRank.end() || to == kLayerRank.end()) continue;
        EXPECT_LE(to->second, from->second) << inc.fromFile << " includes " << inc.target;
    }
}

TEST_F(Layers, LayersIncludeNothingOutsideTheLayers) {
    for (const Include& inc : includes_) {
        if (!inc.quoted || !kLayerRank.count(TopFolder(inc.fromFile))) continue;
        EXPECT_TRUE(kLayerRank.count(TopFolder(inc.target)))
            << inc.fromFile << " includes " << inc.target;
    }
}

TEST_F(Layers, NoTwoFoldersIncludeEachOther) {
    std::map<std::string, std::set<std::string>> edges;
    for (const Include& inc : includes_) {
        if (!inc.quoted) continue;
        const std::string from = Folder(inc.fromFile);
        const std::string to = Folder(inc.target);
        if (!to.empty() && from != to) edges[from].insert(to);
    }
    // Depth-first search for any cycle, reporting the path that closes it.
    std::map<std::string, int> state;  // 0 unseen, 1 on the path, 2 done
    std::vector<std::string> path;
    std::function<void(const std::string&)> visit = [&](const std::string& folder) {
        state[folder] = 1;
        path.push_back(folder);
        for (const std::string& next : edges[folder]) {
            if (state[next] == 1) {
                std::string cycle;
                for (auto it = std::find(path.begin(), path.end(), next); it != path.end(); ++it)
                    cycle += *it + " -> ";
                ADD_FAILURE() << "folders include each other: " << cycle << next;
            } else if (state[next] == 0) {
                visit(next);
            }
        }
        path.pop_back();
        state[folder] = 2;
    };
    for (const auto& [folder, targets] : edges)
        if (state[folder] == 0) visit(folder);
}

TEST_F(Layers, QtOnlyInTheShell) {
    for (const Include& inc : includes_) {
        if (inc.quoted || inc.target.empty() || inc.target[0] != 'Q') continue;
        EXPECT_TRUE(kQtAllowed.count(TopFolder(inc.fromFile)))
            << inc.fromFile << " includes <" << inc.target << ">";
    }
}

// A radio family is one object: outside protocols/ nothing asks which family a link speaks (no
// named protocol, no family's own header), it asks the family. Comments aside.
TEST(FamilyBranches, NothingOutsideProtocolsTestsForAFamily) {
    static const std::regex kFamilyTest(R"(\bProtocol::(Icom|Kenwood|Ft817|Yaesu)\b|)"
                                        R"(protocols/(civ|kenwood|ft817|yaesu)/)");
    int files = 0;
    for (const char* folder : {"core", "control", "link", "doctor", "qt"}) {
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(CAT_SOURCE_DIR) / folder)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
            ++files;
            std::ifstream in(entry.path());
            int number = 0;
            for (std::string line; std::getline(in, line);) {
                ++number;
                const std::string code = line.substr(0, line.find("//"));
                EXPECT_FALSE(std::regex_search(code, kFamilyTest))
                    << entry.path().generic_string() << ":" << number << ": " << line;
            }
        }
    }
    EXPECT_GT(files, 50);
}

TEST_F(Layers, TheVirtualRadioSharesNothingWithTheProgram) {
    for (const Include& inc : includes_) {
        if (inc.fromFile.rfind("tools/radiosim/", 0) != 0 || !inc.quoted) continue;
        EXPECT_EQ(inc.target.rfind("tools/radiosim/", 0), 0u)
            << inc.fromFile << " includes " << inc.target;
    }
}

}  // namespace
