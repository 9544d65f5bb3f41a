// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

class SettingsStore;

// The program's remembered values and their defaults, all under application "Brindlecot", section
// "Quorvane". Each is written the moment it changes and read where it is needed, never cached.
class AppSettings {
public:
    static const QString application;
    static const QString section;
    static const QString defaultCombo1; // "Split every 10 seconds"
    static const QString defaultCombo2; // by length
    static const QString defaultCombo3; // pieces of at most 25 MB
    static const QString defaultCombo4; // 2 parts

    explicit AppSettings(SettingsStore& store);

    // The stored interval index as text, unconverted: the caller reports a bad value.
    QString combo1();
    void setCombo1(int index);
    // The indices of the way box (by length, by size, equal parts), the size box and the parts box, as
    // stored: the caller reports a bad value.
    QString combo2();
    void setCombo2(int index);
    QString combo3();
    void setCombo3(int index);
    QString combo4();
    void setCombo4(int index);
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
