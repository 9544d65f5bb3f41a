// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/folderlisting.h"

#include "platform/paths.h"

#include <QDirIterator>

namespace quorvane {

QStringList NativeFolderListing::entries(const QString& folder)
{
    // Without QDir::Hidden the names beginning with "." stay out, which is what hidden means here.
    QStringList names;
    QDirIterator it(folder, QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    return names;
}

QStringList NativeFolderListing::files(const QString& folder, const QString& pattern)
{
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (matchesPattern(name, pattern))
            names.append(name);
    }
    return names;
}

} // namespace quorvane
