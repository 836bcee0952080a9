// The Com N entry radiosim writes into the program's settings file, in process on scratch files.

#include "tools/radiosim/port_setting.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/radiosim/scratch.h"

namespace radiosim {
namespace {

using test::Scratch;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(PortSetting, PutsTheKeyUnderPortsAndKeepsEverythingElse) {
    const std::string full =
        "[General]\nCom1=not this one\n\n[Setup]\nTop=\" 1200\"\n\n"
        "[Ports]\n; chosen by hand\nCom1=/dev/ttyUSB9\nCom2=/dev/ttyUSB0\n\n[Other]\nCom3=keep\n";
    struct Row {
        const char* name;
        const char* before;  // nullptr: no file yet
        int com;
        const char* after;
    };
    const Row rows[] = {
        {"replaces the key in [Ports] only", full.c_str(), 1,
         "[General]\nCom1=not this one\n\n[Setup]\nTop=\" 1200\"\n\n"
         "[Ports]\n; chosen by hand\nCom1=/dev/pts/7\nCom2=/dev/ttyUSB0\n\n[Other]\nCom3=keep\n"},
        {"adds a key after the section's last entry", full.c_str(), 3,
         "[General]\nCom1=not this one\n\n[Setup]\nTop=\" 1200\"\n\n"
         "[Ports]\n; chosen by hand\nCom1=/dev/ttyUSB9\nCom2=/dev/ttyUSB0\nCom3=/dev/pts/7\n\n"
         "[Other]\nCom3=keep\n"},
        {"adds the section to a file without one", "[Setup]\nSpeed=9600", 2,
         "[Setup]\nSpeed=9600\n\n[Ports]\nCom2=/dev/pts/7\n"},
        {"creates the file and its folders", nullptr, 32, "[Ports]\nCom32=/dev/pts/7\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scratch scratch;
        const std::string file = scratch / "new/CAT/CAT.ini";
        if (row.before != nullptr) {
            std::filesystem::create_directories(scratch / "new/CAT");
            std::ofstream(file, std::ios::binary) << row.before;
        }
        EXPECT_EQ(WritePortSetting(file, row.com, "/dev/pts/7"), "");
        EXPECT_EQ(Read(file), row.after);
    }
}

TEST(PortSetting, WritesThroughALinkAndQuotesOddPaths) {
    Scratch scratch;
    std::ofstream(scratch / "real.ini", std::ios::binary) << "[Ports]\n";
    ASSERT_EQ(::symlink((scratch / "real.ini").c_str(), (scratch / "link.ini").c_str()), 0);
    EXPECT_EQ(WritePortSetting(scratch / "link.ini", 1, "/tmp/my radio"), "");
    EXPECT_TRUE(std::filesystem::is_symlink(scratch / "link.ini"));
    EXPECT_EQ(Read(scratch / "real.ini"), "[Ports]\nCom1=\"/tmp/my radio\"\n");
}

TEST(PortSetting, SaysWhatWentWrong) {
    Scratch scratch;
    std::ofstream(scratch / "file", std::ios::binary) << "not a folder\n";
    const std::string failure = WritePortSetting(scratch / "file/CAT.ini", 1, "/dev/pts/7");
    EXPECT_NE(failure.find("file"), std::string::npos) << failure;
}

}  // namespace
}  // namespace radiosim
