// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <QString>

namespace quorvane::test {

// A box the program showed, as the user would have seen it.
struct ShownBox {
    enum Kind { Message, Input, OpenFiles, PickFolder } kind;
    QString title;
    QString text; // the message, the input box's prompt, the file dialog's filter or the picker's prompt
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    QString proposed;
};

// Answers the program's boxes from a queue and records every box. A box nobody told it to expect fails
// the running test (and is answered with OK or "").
class ScriptedDialogs : public Dialogs {
public:
    void expectMessage(MessageAnswer answer = MessageAnswer::Ok);
    void expectInput(const QString& answer);
    // The files chosen in the open dialog, as full paths; none for Cancel.
    void expectOpenFiles(const QStringList& paths);
    void expectFolder(const QString& folder);

    const QList<ShownBox>& shown() const { return m_shown; }
    int pending() const { return static_cast<int>(m_answers.size()); }
    void reset();

protected:
    MessageAnswer showMessage(
        const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon) override;
    QString showInput(const QString& title, const QString& prompt, const QString& proposed) override;
    QStringList showOpenFiles(const QString& title, const QString& nameFilter, bool multiple) override;
    QString showPickFolder(const QString& prompt) override;

private:
    struct Answer {
        ShownBox::Kind kind;
        MessageAnswer message;
        QString text;
        QStringList paths;
    };
    bool takeAnswer(ShownBox::Kind kind, Answer& answer, const ShownBox& box);

    QList<Answer> m_answers;
    QList<ShownBox> m_shown;
};

} // namespace quorvane::test
