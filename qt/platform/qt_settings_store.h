#pragma once

#include <QSettings>
#include <map>
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
    // A sentence naming the file when it could not be read as it was found; empty otherwise.
    QString LoadProblem() const { return loadProblem_; }

private:
    void CheckLoad();

    std::unique_ptr<QSettings> settings_;
    QString loadProblem_;
    std::map<QString, QString> unsaved_;  // written since the last Sync that reached the file
};

}  // namespace cat
