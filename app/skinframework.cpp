// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/skinframework.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

namespace quorvane {

SkinFramework::~SkinFramework()
{
    if (m_setOnApplication && qApp)
        qApp->setStyleSheet(QString());
}

bool SkinFramework::loadSkin(const QString& path, const QString& iniName)
{
    Q_UNUSED(iniName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    m_sheet = QString::fromUtf8(file.readAll());
    return true;
}

void SkinFramework::applyWindow(QWidget* window)
{
    if (!window || !(m_options & ApplyColors) || m_sheet.isEmpty())
        return;
    QString sheet = m_sheet;
    if (m_keepDesignedFonts) {
        // Later rules of equal weight win, so these follow the skin's own.
        const QString id = QLatin1Char('#') + window->objectName();
        sheet += QStringLiteral("\n%1, %1 QWidget { font-family: \"Arial\"; font-size: 9pt; font-weight: bold; }"
                                "\n%1 QPushButton { font-size: 11.25pt; }\n")
                     .arg(id);
    }
    if (m_autoApplyNewWindows) {
        qApp->setStyleSheet(sheet);
        m_setOnApplication = true;
    } else {
        window->setStyleSheet(sheet);
    }
}

} // namespace quorvane
