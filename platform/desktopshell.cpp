// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/desktopshell.h"

#include "platform/failure.h"

#include <QDesktopServices>
#include <QUrl>

namespace quorvane {

void DesktopShell::openWebAddress(const QString& address)
{
    // QDesktopServices hands the address over and returns without waiting for the browser.
    if (!QDesktopServices::openUrl(QUrl(address)))
        throw Failure::fileNotFound();
}

bool DesktopShell::openFolder(const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }

} // namespace quorvane
