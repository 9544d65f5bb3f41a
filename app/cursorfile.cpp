// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/cursorfile.h"

#include "platform/failure.h"

#include <QFile>
#include <QPixmap>
#include <QtEndian>

namespace quorvane {

QCursor loadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure::fileNotFound();
    const QByteArray bytes = file.read(64 * 1024 * 1024);
    QPixmap picture;
    if (!picture.loadFromData(bytes) || picture.isNull())
        throw Failure::invalidPicture();

    // A cursor file is an icon directory of type 2 whose first entry holds the hot spot.
    int hotX = -1;
    int hotY = -1;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (bytes.size() >= 22 && qFromLittleEndian<quint16>(data) == 0 && qFromLittleEndian<quint16>(data + 2) == 2) {
        hotX = qFromLittleEndian<quint16>(data + 10);
        hotY = qFromLittleEndian<quint16>(data + 12);
        if (hotX >= picture.width() || hotY >= picture.height())
            hotX = hotY = -1;
    }
    return QCursor(picture, hotX, hotY);
}

} // namespace quorvane
