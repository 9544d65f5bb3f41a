// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

class SettingsStore;

// The program's four remembered values and their defaults, all under application "Brindlecot",
// section "Quorvane". Each is written the moment it changes and read where it is needed, never cached.
class AppSettings {
public:
    static const QString application;
    static const QString section;
    static const QString defaultCombo1; // "Split every 10 seconds"

    explicit AppSettings(SettingsStore& store);

    // The stored interval index as text, unconverted: the caller reports a bad value.
    QString combo1();
    void setCombo1(int index);
    // The stored output folder; `defaultFolder` only when nothing is stored (a stored "" wins).
    QString text2(const QString& defaultFolder);
    void setText2(const QString& folder);
    void setExtension(const QString& extension);
    // Whether pieces are made the exact length asked ("1"), re-encoding a few frames at each cut; off unless
    // stored so.
    bool exact();
    void setExact(bool on);

private:
    SettingsStore& m_store;
};

} // namespace quorvane
