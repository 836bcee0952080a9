// Folder change notices as the port list and the device watch use them: real folders in a
// temporary one, real files made and removed in them.
#include "qt/ports/folder_watch.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace cat {
namespace {

void MakeFile(const QString& path) { ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly)); }

// Whether each spy heard of a change: the expected ones are waited for, then the others are
// given the time a notice takes.
void ExpectHeard(std::initializer_list<std::pair<QSignalSpy*, bool>> spies, const char* row) {
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto& [spy, heard] : spies)
                if (heard && spy->isEmpty()) return false;
            return true;
        },
        2000))
        << row;
    QTest::qWait(100);
    for (const auto& [spy, heard] : spies) EXPECT_EQ(!spy->isEmpty(), heard) << row;
}

// Two users of one notice instance: `first` watches folder a, `second` folders a and b.
TEST(FolderWatch, TellsEachUserOfChangesInItsOwnFoldersOnly) {
    struct Row {
        const char* name;
        const char* changed;  // where a file is made
        bool firstLeaves;     // the first user watches nothing from then on
        bool firstHears;
        bool secondHears;
    };
    const Row rows[] = {
        {"a folder both watch tells both", "a", false, true, true},
        {"a folder one watches tells that one only", "b", false, false, true},
        {"a folder none watches tells none", "c", false, false, false},
        {"a user that left is not told, the other still is", "a", true, false, true},
    };
    for (const Row& row : rows) {
        QTemporaryDir dir;
        for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(QDir(dir.path()).mkdir(name));
        FolderWatch first;
        FolderWatch second;
        first.Set({dir.filePath("a")});
        second.Set({dir.filePath("a"), dir.filePath("b")});
        if (row.firstLeaves) first.Set({});
        QSignalSpy firstSpy(&first, &FolderWatch::Changed);
        QSignalSpy secondSpy(&second, &FolderWatch::Changed);
        MakeFile(QDir(dir.filePath(row.changed)).filePath("ttyUSB0"));
        ExpectHeard({{&firstSpy, row.firstHears}, {&secondSpy, row.secondHears}}, row.name);
    }
}

// udev removes the by-id folder with the last adapter and makes it again with the next one.
TEST(FolderWatch, AFolderMadeAgainIsWatchedAgainWhenItsUserAsks) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("by-id");
    ASSERT_TRUE(QDir().mkdir(folder));
    FolderWatch watch;
    watch.Set({folder});
    QSignalSpy spy(&watch, &FolderWatch::Changed);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ExpectHeard({{&spy, true}}, "the folder's removal is a change");

    ASSERT_TRUE(QDir().mkdir(folder));
    watch.Set({folder});
    spy.clear();
    MakeFile(QDir(folder).filePath("usb-Radio-if00"));
    ExpectHeard({{&spy, true}}, "a link made in the folder made again");
}

}  // namespace
}  // namespace cat
