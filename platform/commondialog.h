// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

class Dialogs;

// The window's file dialog, set up property by property and then shown, over the dialogs service.
class CommonDialog {
public:
    static constexpr int ReadOnly = 0x1;
    static constexpr int AllowMultiSelect = 0x200;
    static constexpr int Explorer = 0x80000;
    static constexpr int LongNames = 0x200000;

    explicit CommonDialog(Dialogs& dialogs)
        : m_dialogs(dialogs)
    {
    }

    QString fileName() const { return m_fileName; }
    void setFileName(const QString& name) { m_fileName = name; }
    void setFlags(int flags) { m_flags = flags; }
    void setDialogTitle(const QString& title) { m_title = title; }
    void setFilter(const QString& filter) { m_filter = filter; }
    int maxFileSize() const { return m_maxFileSize; }
    void setMaxFileSize(int chars) { m_maxFileSize = chars; }

    // Shows the open dialog; fileName() then holds the result ("" when cancelled).
    void showOpen();

private:
    Dialogs& m_dialogs;
    QString m_fileName;
    int m_flags = 0;
    QString m_title;
    QString m_filter;
    int m_maxFileSize = 30000;
};

} // namespace quorvane
