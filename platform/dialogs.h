// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <QStringList>

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

    // The open-file dialog, with a classic filter ("MP4 Files (*.mp4)|*.mp4|"). The chosen files come back
    // in the classic form: "" when cancelled, one full path, or the folder and then each name, separated by
    // NUL characters (a root folder keeps its separator). Throws Failure 20476 when that text does not fit
    // in `maxChars` characters.
    QString openFiles(const QString& title, const QString& filter, bool multiple, int maxChars);
    // The folder picker: the chosen folder's full path, a root with its separator, others without; "" when
    // cancelled.
    QString pickFolder(const QString& prompt);

    static constexpr int bufferTooSmall = 20476;

    static QString applicationTitle();

protected:
    virtual MessageAnswer showMessage(
        const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon)
        = 0;
    virtual QString showInput(const QString& title, const QString& prompt, const QString& proposed) = 0;
    // Full paths of the chosen files in the dialog's order; empty when cancelled.
    virtual QStringList showOpenFiles(const QString& title, const QString& nameFilter, bool multiple) = 0;
    virtual QString showPickFolder(const QString& prompt) = 0;
};

} // namespace quorvane
