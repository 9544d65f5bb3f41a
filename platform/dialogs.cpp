// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "dialogs.h"

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

} // namespace

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

} // namespace quorvane
