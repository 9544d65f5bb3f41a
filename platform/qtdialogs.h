// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "platform/dialogs.h"

class QWidget;

namespace quorvane {

// The real boxes, owned by a parent window (may be null).
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr);
    void setParent(QWidget* parent) { m_parent = parent; }

protected:
    MessageAnswer showMessage(
        const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon) override;
    QString showInput(const QString& title, const QString& prompt, const QString& proposed) override;
    QStringList showOpenFiles(const QString& title, const QString& nameFilter, bool multiple) override;
    QString showPickFolder(const QString& prompt) override;

private:
    QWidget* m_parent;
};

} // namespace quorvane
