// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "scripteddialogs.h"

#include <QTest>

namespace quorvane::test {

void ScriptedDialogs::expectMessage(MessageAnswer answer) { m_answers.append({ ShownBox::Message, answer, {}, {} }); }

void ScriptedDialogs::expectInput(const QString& answer) { m_answers.append({ ShownBox::Input, {}, answer, {} }); }

void ScriptedDialogs::expectOpenFiles(const QStringList& paths)
{
    m_answers.append({ ShownBox::OpenFiles, {}, {}, paths });
}

void ScriptedDialogs::expectFolder(const QString& folder)
{
    m_answers.append({ ShownBox::PickFolder, {}, folder, {} });
}

void ScriptedDialogs::reset()
{
    m_answers.clear();
    m_shown.clear();
}

bool ScriptedDialogs::takeAnswer(ShownBox::Kind kind, Answer& answer, const ShownBox& box)
{
    m_shown.append(box);
    if (m_answers.isEmpty() || m_answers.first().kind != kind) {
        const QByteArray what = (QStringLiteral("unexpected box \"") + box.title + QStringLiteral("\": ")
            + QString(box.text).replace(QLatin1Char('\r'), QLatin1Char('|')))
                                    .toUtf8();
        QTest::qFail(what.constData(), __FILE__, __LINE__);
        return false;
    }
    answer = m_answers.takeFirst();
    return true;
}

MessageAnswer ScriptedDialogs::showMessage(
    const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon)
{
    Answer answer;
    if (!takeAnswer(ShownBox::Message, answer, { ShownBox::Message, title, text, buttons, icon, {} }))
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    return answer.message;
}

QString ScriptedDialogs::showInput(const QString& title, const QString& prompt, const QString& proposed)
{
    Answer answer;
    if (!takeAnswer(ShownBox::Input, answer,
            { ShownBox::Input, title, prompt, MessageButtons::Ok, MessageIcon::None, proposed }))
        return {};
    return answer.text;
}

QStringList ScriptedDialogs::showOpenFiles(const QString& title, const QString& nameFilter, bool multiple)
{
    Answer answer;
    if (!takeAnswer(ShownBox::OpenFiles, answer,
            { ShownBox::OpenFiles, title, nameFilter, MessageButtons::Ok, MessageIcon::None, {} }))
        return {};
    if (!multiple && answer.paths.size() > 1)
        QTest::qFail("several files chosen in a single-file dialog", __FILE__, __LINE__);
    return answer.paths;
}

QString ScriptedDialogs::showPickFolder(const QString& prompt)
{
    Answer answer;
    if (!takeAnswer(ShownBox::PickFolder, answer,
            { ShownBox::PickFolder, {}, prompt, MessageButtons::Ok, MessageIcon::None, {} }))
        return {};
    return answer.text;
}

} // namespace quorvane::test
