// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "split/fileutilities.h"

#include "platform/failure.h"

#include <QFile>
#include <QFileInfo>

namespace quorvane {

void WriteBytesToFile(const QByteArray& bytes, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
            throw Failure::pathNotFound().about(path);
        throw Failure::permissionDenied().about(path);
    }
    const qint64 written = file.write(bytes);
    const bool flushed = file.flush();
    file.close();
    if (written != bytes.size() || !flushed)
        throw Failure(61, QStringLiteral("Disk full")).about(path);
}

void DeleteFileQuietly(const QString& path)
{
    if (QFileInfo(path).isFile() || QFileInfo(path).isSymLink())
        QFile::remove(path);
}

} // namespace quorvane
