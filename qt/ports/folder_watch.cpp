#include "qt/ports/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSocketNotifier>
#include <array>
#include <cstdint>

namespace cat {

// The one inotify instance, made when first needed and gone with the application. It is read
// here rather than through QFileSystemWatcher: that class brings a quarter of a megabyte of the
// Qt library's code into memory at start, for the two folders the port list watches.
class FolderNotices : public QObject {
public:
    static FolderNotices* Get() {
        static QPointer<FolderNotices> instance;
        if (!instance) instance = new FolderNotices(QCoreApplication::instance());
        return instance;
    }

    void Add(FolderWatch* user, const QString& folder) {
        if (!users_.contains(user)) users_.append(user);
        if (++counts_[folder] == 1 || !watches_.contains(folder)) Watch(folder);
    }
    void Remove(FolderWatch* user, const QString& folder) {
        if (--counts_[folder] <= 0) {
            counts_.remove(folder);
            if (const auto found = watches_.constFind(folder); found != watches_.cend()) {
                inotify_rm_watch(fd_, *found);
                folders_.remove(*found);
                watches_.erase(found);
            }
        }
        if (user->folders_.isEmpty()) users_.removeAll(user);
    }
    void Forget(FolderWatch* user) { users_.removeAll(user); }
    // The system stops watching a folder that is removed; watching it again once it is back.
    void Ensure(const QString& folder) {
        if (counts_.value(folder) > 0 && !watches_.contains(folder)) Watch(folder);
    }

private:
    // Made, removed or renamed within, or the folder itself gone.
    static constexpr std::uint32_t kEvents =
        IN_ATTRIB | IN_MOVE | IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;

    explicit FolderNotices(QObject* parent) : QObject(parent) {
        fd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (fd_ < 0) return;
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &FolderNotices::ReadNotices);
    }
    ~FolderNotices() override {
        delete notifier_;  // off the event loop before its descriptor goes
        if (fd_ >= 0) ::close(fd_);
    }

    void Watch(const QString& folder) {
        if (fd_ < 0) return;
        // A folder that is not there is skipped; Ensure tries again at the next change.
        const int watch = inotify_add_watch(fd_, QFile::encodeName(folder).constData(), kEvents);
        if (watch < 0) return;
        watches_.insert(folder, watch);
        folders_.insert(watch, folder);
    }

    void ReadNotices() {
        // One notice per folder for all that one read brought: a burst of udev's links is one
        // change to those who listen.
        QStringList changed;
        alignas(inotify_event) std::array<char, 4096> buffer;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                const auto found = folders_.constFind(event->wd);
                if (found == folders_.cend()) continue;
                const QString folder = *found;
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                    // The watch is gone with the folder (IN_IGNORED follows the others).
                    if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
                        inotify_rm_watch(fd_, event->wd);
                    folders_.remove(event->wd);
                    watches_.remove(folder);
                }
                if (!changed.contains(folder)) changed.append(folder);
            }
        }
        for (const QString& folder : changed) {
            // A receiver may change what it watches from inside the signal.
            const QList<QPointer<FolderWatch>> users(users_.begin(), users_.end());
            for (const QPointer<FolderWatch>& user : users)
                if (user && user->folders_.contains(folder)) emit user->Changed(folder);
        }
    }

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QHash<QString, int> watches_;  // folder -> its watch
    QHash<int, QString> folders_;  // watch -> its folder
    QHash<QString, int> counts_;
    QList<FolderWatch*> users_;
};

FolderWatch::FolderWatch(QObject* parent) : QObject(parent) {}

FolderWatch::~FolderWatch() {
    Set({});
    if (FolderNotices* notices = FolderNotices::Get()) notices->Forget(this);
}

void FolderWatch::Set(const QStringList& folders) {
    FolderNotices* notices = FolderNotices::Get();
    if (!notices) return;
    const QStringList before = folders_;
    for (const QString& folder : before)
        if (!folders.contains(folder)) {
            folders_.removeAll(folder);
            notices->Remove(this, folder);
        }
    for (const QString& folder : folders) {
        if (folders_.contains(folder)) {
            notices->Ensure(folder);
            continue;
        }
        folders_.append(folder);
        notices->Add(this, folder);
    }
}

}  // namespace cat
