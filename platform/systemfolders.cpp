// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/systemfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace quorvane {

QString NativeSystemFolders::specialFolderPath(int folderId)
{
    if (folderId != CSIDL_DESKTOP)
        return {};
    QString path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (path.isEmpty())
        return {};
    path = QDir::toNativeSeparators(QDir::cleanPath(path));
    while (path.size() > 1 && path.endsWith(pathSeparator()))
        path.chop(1);
    return path;
}

QString NativeSystemFolders::programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

} // namespace quorvane
