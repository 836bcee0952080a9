#pragma once

// The benchmark programs' command lines: "--name value" options, a few bare "--flag"s, and a usage
// line for anything else. Standard library only, so the programs without Qt share it too.

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace cat::bench {

class Arguments {
public:
    // `flags` take no value; every other "--name" takes the argument after it, and may be repeated.
    Arguments(int argc, char** argv, std::set<std::string> flags = {}) {
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            if (flags.count(argument)) {
                flags_.insert(argument);
            } else if (argument.rfind("--", 0) == 0 && i + 1 < argc) {
                values_[argument].push_back(argv[++i]);
            } else if (unknown_.empty()) {
                unknown_ = argument;
            }
        }
    }

    // False, after printing `usage`, when an argument was neither a flag nor an option with a
    // value, or names an option that `usage` does not offer ("[--name ...").
    bool Understood(const std::string& usage) const {
        std::string unknown = unknown_;
        for (const auto& entry : values_)
            if (unknown.empty() && usage.find("[" + entry.first + " ") == std::string::npos)
                unknown = entry.first;
        if (unknown.empty()) return true;
        std::fprintf(stderr, "%s: not understood\nusage: %s\n", unknown.c_str(), usage.c_str());
        return false;
    }

    bool Flag(const std::string& name) const { return flags_.count(name) > 0; }

    // The last value given for `name`, or `fallback`.
    std::string Text(const std::string& name, const std::string& fallback) const {
        const auto found = values_.find(name);
        return found == values_.end() ? fallback : found->second.back();
    }

    int Number(const std::string& name, int fallback) const {
        const auto found = values_.find(name);
        return found == values_.end() ? fallback : std::atoi(found->second.back().c_str());
    }

    // Every value given for `name`, in order; `fallback` when none was, or when one was "all".
    std::vector<std::string> Values(const std::string& name,
                                    const std::vector<std::string>& fallback) const {
        const auto found = values_.find(name);
        if (found == values_.end()) return fallback;
        for (const std::string& value : found->second)
            if (value == "all") return fallback;
        return found->second;
    }

private:
    std::set<std::string> flags_;
    std::map<std::string, std::vector<std::string>> values_;
    std::string unknown_;
};

}  // namespace cat::bench
