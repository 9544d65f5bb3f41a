// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "dialogs.h"

#include "failure.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace quorvane {

namespace {

QString titleOrDefault(const QString& title) { return title.isEmpty() ? Dialogs::applicationTitle() : title; }

// The texts keep classic CR and CR LF line ends; a label wants plain line feeds.
QString displayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

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

QtDialogs::QtDialogs(QWidget* parent)
    : m_parent(parent)
{
}

MessageAnswer QtDialogs::showMessage(
    const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    box.setText(displayText(text));
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::Ok;
}

QString QtDialogs::showInput(const QString& title, const QString& prompt, const QString& proposed)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(displayText(prompt));
    dialog.setTextValue(proposed);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

QStringList QtDialogs::showOpenFiles(const QString& title, const QString& nameFilter, bool multiple)
{
    if (multiple)
        return QFileDialog::getOpenFileNames(m_parent, title, QString(), nameFilter);
    const QString path = QFileDialog::getOpenFileName(m_parent, title, QString(), nameFilter);
    return path.isEmpty() ? QStringList() : QStringList { path };
}

QString QtDialogs::showPickFolder(const QString& prompt)
{
    const QString folder = QFileDialog::getExistingDirectory(m_parent, prompt);
    return folder.isEmpty() ? QString() : QDir::toNativeSeparators(folder);
}

} // namespace quorvane
