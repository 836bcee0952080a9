#include "qt/platform/qt_settings_store.h"

#include <QFile>
#include <QFileInfo>
#include <QVariant>

namespace cat {

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("CAT"), QStringLiteral("CAT"))) {
    CheckLoad();
}

QtSettingsStore::QtSettingsStore(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {
    CheckLoad();
}

void QtSettingsStore::CheckLoad() {
    // QSettings does not report what it met while loading; a second look at the file does. Of its
    // calls, listing the keys is the one that sets the status.
    const QString name = settings_->fileName();
    if (!QFileInfo::exists(name)) return;  // the first run
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        loadProblem_ = QStringLiteral(
                           "CAT: the settings file \"%1\" could not be read (%2); the window "
                           "starts with the default choices.")
                           .arg(name, file.errorString());
    } else if (QSettings probe(name, QSettings::IniFormat);
               (probe.allKeys(), probe.status() == QSettings::FormatError)) {
        loadProblem_ = QStringLiteral(
                           "CAT: the settings file \"%1\" holds lines that are not settings "
                           "(comments, or text that is no key=value). The settings in it were "
                           "read; those lines are dropped when the file is rewritten at exit.")
                           .arg(name);
    }
}

std::optional<std::string> QtSettingsStore::Read(const std::string& group, const std::string& key) {
    const QString name = QString::fromStdString(group + "/" + key);
    // Another program (radiosim, an editor) may have changed the file since it was loaded: a
    // port mapped while the window is up must be found when the port opens.
    settings_->sync();
    if (settings_->status() == QSettings::AccessError || !settings_->contains(name))
        return std::nullopt;
    // A hand-edited file may hold a list ("a, b") or junk; only plain text is a stored value.
    const QVariant value = settings_->value(name);
    if (!value.canConvert<QString>()) return std::nullopt;
    return value.toString().toStdString();
}

void QtSettingsStore::Write(const std::string& group, const std::string& key,
                            const std::string& value) {
    const QString name = QString::fromStdString(group + "/" + key);
    const QString text = QString::fromStdString(value);
    settings_->setValue(name, text);
    unsaved_[name] = text;
}

bool QtSettingsStore::Sync() {
    settings_->sync();
    // QSettings keeps the first error it met for good: a file that loaded with comments in it
    // reports FormatError after every later save, good or bad. Once that has happened, only the
    // file itself can say whether the values reached it.
    bool saved = settings_->status() == QSettings::NoError;
    if (!saved && QFileInfo(settings_->fileName()).isReadable()) {
        const QSettings onDisk(settings_->fileName(), QSettings::IniFormat);
        saved = true;
        for (const auto& [name, text] : unsaved_) saved = saved && onDisk.value(name) == text;
    }
    if (saved) unsaved_.clear();
    return saved;
}

}  // namespace cat
