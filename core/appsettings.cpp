// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/appsettings.h"

#include "platform/settingsstore.h"

namespace quorvane {

const QString AppSettings::application = QStringLiteral("Brindlecot");
const QString AppSettings::section = QStringLiteral("Quorvane");
const QString AppSettings::defaultCombo1 = QStringLiteral("2");
const QString AppSettings::defaultCombo2 = QStringLiteral("0");
const QString AppSettings::defaultCombo3 = QStringLiteral("1");
const QString AppSettings::defaultCombo4 = QStringLiteral("0");

namespace {
const QString keyCombo1 = QStringLiteral("Combo1");
const QString keyCombo2 = QStringLiteral("Combo2");
const QString keyCombo3 = QStringLiteral("Combo3");
const QString keyCombo4 = QStringLiteral("Combo4");
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

QString AppSettings::combo2() { return m_store.read(application, section, keyCombo2, defaultCombo2); }

void AppSettings::setCombo2(int index) { m_store.write(application, section, keyCombo2, QString::number(index)); }

QString AppSettings::combo3() { return m_store.read(application, section, keyCombo3, defaultCombo3); }

void AppSettings::setCombo3(int index) { m_store.write(application, section, keyCombo3, QString::number(index)); }

QString AppSettings::combo4() { return m_store.read(application, section, keyCombo4, defaultCombo4); }

void AppSettings::setCombo4(int index) { m_store.write(application, section, keyCombo4, QString::number(index)); }

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
