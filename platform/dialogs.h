// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

class QWidget;

namespace quorvane {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Exclamation, Question, Information, Critical };
enum class MessageAnswer { Ok, Yes, No };

// The program's modal boxes. Form1 and the handlers get one of these handed in, so tests can script the
// answers. A box given no title shows the application's title.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    MessageAnswer messageBox(const QString& text, MessageButtons buttons = MessageButtons::Ok,
        MessageIcon icon = MessageIcon::None, const QString& title = {});
    // The typed answer, or "" when the user cancels.
    QString inputBox(const QString& prompt, const QString& title = {}, const QString& proposed = {});

    static QString applicationTitle();

protected:
    virtual MessageAnswer showMessage(
        const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon)
        = 0;
    virtual QString showInput(const QString& title, const QString& prompt, const QString& proposed) = 0;
};

// The real boxes, owned by a parent window (may be null).
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr);
    void setParent(QWidget* parent) { m_parent = parent; }

protected:
    MessageAnswer showMessage(
        const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon) override;
    QString showInput(const QString& title, const QString& prompt, const QString& proposed) override;

private:
    QWidget* m_parent;
};

} // namespace quorvane
