// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/systemfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

QString NativeSystemFolders::programFolder() { return programFolderOf(QCoreApplication::applicationDirPath()); }

QString programFolderOf(const QString& executableFolder)
{
    // A build tree or a folder-style install keeps the program's files beside it; an install under a prefix
    // keeps them in <prefix>/share/quorvane, with the program in <prefix>/bin.
    const QDir beside(executableFolder);
    QString folder = executableFolder;
    const bool filesBeside = beside.exists(QStringLiteral("HAND-M.CUR")) || beside.exists(QStringLiteral("Samples"))
        || beside.exists(QStringLiteral("x"));
    const QString shared = QDir::cleanPath(beside.filePath(QStringLiteral("../share/quorvane")));
    if (!filesBeside && QFileInfo(shared).isDir())
        folder = shared;
    return QDir::toNativeSeparators(folder);
}

} // namespace quorvane
