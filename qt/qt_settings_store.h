#pragma once

#include <QSettings>
#include <memory>

#include "core/settings_store.h"

namespace cat {

// The settings store over an INI file: by default the per-user CAT/CAT.ini.
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore();                              // the user's own store
    explicit QtSettingsStore(const QString& path);  // a given INI file (tests, the demo)

    std::optional<std::string> Read(const std::string& group, const std::string& key) override;
    void Write(const std::string& group, const std::string& key, const std::string& value) override;
    bool Sync() override;
    QString FileName() const { return settings_->fileName(); }

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace cat
