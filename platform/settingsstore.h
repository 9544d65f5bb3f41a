// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

// The per-user store of text values, addressed by application, section and key. Nothing is cached:
// every read asks the store, and a write is on disk when the call returns. A stored empty text is a value.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString read(
        const QString& application, const QString& section, const QString& key, const QString& defaultValue)
        = 0;
    // Throws Failure ("Permission denied: <where>") when the value could not be stored.
    virtual void write(const QString& application, const QString& section, const QString& key, const QString& value)
        = 0;
};

// The platform's own store. On Linux an INI file "<application>.conf" in the user's configuration folder
// with one [section]; on Windows the registry key the earlier Windows release used, so its users keep
// their values.
class NativeSettingsStore : public SettingsStore {
public:
    // `folder` replaces the user's configuration folder (on Windows, the registry root key path);
    // empty means the platform's place.
    explicit NativeSettingsStore(QString folder = {});

    QString read(
        const QString& application, const QString& section, const QString& key, const QString& defaultValue) override;
    void write(const QString& application, const QString& section, const QString& key, const QString& value) override;

    // Where the values of an application live: a file path on Linux, a registry path on Windows.
    QString location(const QString& application) const;

private:
    QString m_folder;
};

} // namespace quorvane
