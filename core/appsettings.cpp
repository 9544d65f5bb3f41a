// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/appsettings.h"

#include "platform/settingsstore.h"

namespace quorvane {

const QString AppSettings::application = QStringLiteral("Brindlecot");
const QString AppSettings::section = QStringLiteral("Quorvane");
const QString AppSettings::defaultCombo1 = QStringLiteral("2");

namespace {
const QString keyCombo1 = QStringLiteral("Combo1");
const QString keyText2 = QStringLiteral("Text2");
const QString keyExtension = QStringLiteral("Extension");
const QString keyExact = QStringLiteral("Exact");
} // namespace

AppSettings::AppSettings(SettingsStore& store)
    : m_store(store)
{
}

QString AppSettings::combo1() { return m_store.read(application, section, keyCombo1, defaultCombo1); }

void AppSettings::setCombo1(int index) { m_store.write(application, section, keyCombo1, QString::number(index)); }

QString AppSettings::text2(const QString& defaultFolder)
{
    return m_store.read(application, section, keyText2, defaultFolder);
}

void AppSettings::setText2(const QString& folder) { m_store.write(application, section, keyText2, folder); }

void AppSettings::setExtension(const QString& extension)
{
    m_store.write(application, section, keyExtension, extension);
}

bool AppSettings::exact() { return m_store.read(application, section, keyExact, QStringLiteral("0")) == "1"; }

void AppSettings::setExact(bool on)
{
    m_store.write(application, section, keyExact, on ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace quorvane
