#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace cat {

// Change notices of folders (a file made, removed or renamed in them), for any number of users
// over one shared inotify instance: each instance costs the kernel a grace period of some
// milliseconds when it is closed, and the program closes them all when it ends.
class FolderWatch : public QObject {
    Q_OBJECT

public:
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    // Watches exactly these folders from now on; folders that do not exist are skipped.
    void Set(const QStringList& folders);
    QStringList Folders() const { return folders_; }

signals:
    void Changed(const QString& folder);

private:
    friend class FolderNotices;
    QStringList folders_;
};

}  // namespace cat
