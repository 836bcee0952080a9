#include "qt/ports/folder_watch.h"

#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QPointer>

namespace cat {

// The one watcher, made when first needed and gone with the application.
class FolderNotices : public QObject {
public:
    static FolderNotices* Get() {
        static QPointer<FolderNotices> instance;
        if (!instance) instance = new FolderNotices(QCoreApplication::instance());
        return instance;
    }

    void Add(FolderWatch* user, const QString& folder) {
        if (!users_.contains(user)) users_.append(user);
        if (++counts_[folder] == 1 || !watcher_.directories().contains(folder))
            watcher_.addPath(folder);
    }
    void Remove(FolderWatch* user, const QString& folder) {
        if (--counts_[folder] <= 0) {
            counts_.remove(folder);
            if (watcher_.directories().contains(folder)) watcher_.removePath(folder);
        }
        if (user->folders_.isEmpty()) users_.removeAll(user);
    }
    void Forget(FolderWatch* user) { users_.removeAll(user); }
    // The system stops watching a folder that is removed; watching it again once it is back.
    void Ensure(const QString& folder) {
        if (counts_.value(folder) > 0 && !watcher_.directories().contains(folder))
            watcher_.addPath(folder);
    }

private:
    explicit FolderNotices(QObject* parent) : QObject(parent) {
        connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
                [this](const QString& folder) {
                    // A receiver may change what it watches from inside the signal.
                    const QList<QPointer<FolderWatch>> users(users_.begin(), users_.end());
                    for (const QPointer<FolderWatch>& user : users)
                        if (user && user->folders_.contains(folder)) emit user->Changed(folder);
                });
    }

    QFileSystemWatcher watcher_;
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
