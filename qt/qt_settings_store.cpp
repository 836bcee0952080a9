#include "qt/qt_settings_store.h"

#include <QVariant>

namespace cat {

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("CAT"), QStringLiteral("CAT"))) {}

QtSettingsStore::QtSettingsStore(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

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
    settings_->setValue(QString::fromStdString(group + "/" + key), QString::fromStdString(value));
}

bool QtSettingsStore::Sync() {
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

}  // namespace cat
