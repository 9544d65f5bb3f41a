// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy.h"

#include "platform/failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quorvane {

CopyKind copyForReading(const QString& source, const QString& target, const std::function<void()>& made)
{
    if (!QFileInfo::exists(source))
        throw Failure::fileNotFound().about(source);
    if (QFileInfo::exists(target))
        throw Failure::fileAlreadyExists().about(target);
    if (!QFile::copy(source, target))
        throw Failure::permissionDenied().about(target);
    made(); // QFile::copy leaves nothing behind when it fails
    return CopyKind::Copy;
}

bool sameFile(const QString& a, const QString& b)
{
    const QString first = QFileInfo(a).canonicalFilePath();
    return !first.isEmpty() && first.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
}

QString makePrivateFolder(const QString& parent)
{
    if (!QFileInfo(parent).isDir())
        throw Failure::pathNotFound().about(parent);
    // A folder made under the user's own temporary folder inherits an access list for the user alone.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = privateFolderCandidate(parent);
        if (QDir().mkdir(path))
            return QDir::toNativeSeparators(path);
    }
    throw Failure::permissionDenied().about(parent);
}

// The volume serial number and file index of GetFileInformationByHandle would serve; until they are read,
// no file is known to be one we made, so nothing is deleted on the strength of a record.
QString fileIdentity(const QString&) { return {}; }

// OpenProcess failing with ERROR_INVALID_PARAMETER would say so; until then, nobody can tell.
bool processIsGone(qint64) { return false; }

// Telling whether a process is gone takes OpenProcess on Windows; until that is written, nothing is removed.
void removeStalePrivateFolders(const QString&, const QString&) { }

} // namespace quorvane
