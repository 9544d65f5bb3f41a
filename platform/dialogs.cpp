// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/dialogs.h"

#include "platform/failure.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane {

namespace {

QString titleOrDefault(const QString& title) { return title.isEmpty() ? Dialogs::applicationTitle() : title; }

// "MP4 Files (*.mp4)|*.mp4|" -> "MP4 Files (*.mp4)", the form Qt's dialogs take.
QString nameFilter(const QString& classic)
{
    const QStringList parts = classic.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << (description.endsWith(QLatin1Char(')')) ? description : description + " (" + patterns + ")");
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace

QString Dialogs::openFiles(const QString& title, const QString& filter, bool multiple, int maxChars)
{
    const QStringList paths = showOpenFiles(titleOrDefault(title), nameFilter(filter), multiple);
    if (paths.isEmpty())
        return {};
    QString result;
    if (paths.size() == 1) {
        result = QDir::toNativeSeparators(paths.first());
    } else {
        result = QDir::toNativeSeparators(QFileInfo(paths.first()).path());
        for (const QString& path : paths)
            result += QChar(0) + QFileInfo(path).fileName();
    }
    // The names and a closing NUL must fit in the buffer.
    if (result.size() >= maxChars)
        throw Failure(bufferTooSmall, QStringLiteral("The buffer for the chosen file names is too small"));
    return result;
}

QString Dialogs::pickFolder(const QString& prompt) { return showPickFolder(prompt); }

QString Dialogs::applicationTitle() { return QStringLiteral("Quorvane"); }

MessageAnswer Dialogs::messageBox(const QString& text, MessageButtons buttons, MessageIcon icon, const QString& title)
{
    return showMessage(titleOrDefault(title), text, buttons, icon);
}

QString Dialogs::inputBox(const QString& prompt, const QString& title, const QString& proposed)
{
    return showInput(titleOrDefault(title), prompt, proposed);
}

} // namespace quorvane
