// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/qtdialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace quorvane {

namespace {

// The texts keep classic CR and CR LF line ends; a label wants plain line feeds.
QString displayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

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
