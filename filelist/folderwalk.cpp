// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "filelist/folderwalk.h"

#include "platform/dialogs.h"
#include "platform/fileattributes.h"
#include "platform/folderlisting.h"
#include "platform/paths.h"

#include <QCoreApplication>

namespace quorvane {

namespace {
void yieldToEvents() { QCoreApplication::processEvents(); }
} // namespace

QString PickFolder(Dialogs& dialogs, const QString& prompt) { return dialogs.pickFolder(prompt); }

void CollectSubfolders(QStringList& folders, bool recurse, FolderListing& listing, FileAttributes& attributes)
{
    // Level by level rather than by recursion, so a deep tree cannot exhaust the stack; the order is the same.
    QStringList found;
    QStringList level = folders;
    while (!level.isEmpty()) {
        QStringList next;
        for (const QString& folder : level) {
            const QStringList names = listing.entries(folder);
            yieldToEvents();
            for (const QString& name : names) {
                yieldToEvents();
                if (name.contains(QLatin1Char('?')) || name == QLatin1String(".") || name == QLatin1String(".."))
                    continue;
                const QString path = folder + name;
                const std::optional<quint32> a = attributes.attributes(path);
                // A linked folder can lead back up the tree; it is not entered.
                if (a && (*a & attr::Directory) && !(*a & (attr::Hidden | attr::System | attr::ReparsePoint)))
                    next.append(path + pathSeparator());
            }
        }
        found += next;
        if (!recurse)
            break;
        level = std::move(next);
    }
    for (const QString& folder : found) {
        yieldToEvents();
        folders.append(folder);
    }
}

QStringList ListFolderFiles(QString folder, const QString& pattern, FolderListing& listing)
{
    if (!folder.endsWith(pathSeparator()))
        folder += pathSeparator();
    return listing.files(folder, pattern);
}

bool skipFoundFile(const QString& name, const QString& path, FileAttributes& attributes)
{
    if (name.startsWith(QLatin1Char('~')))
        return true;
    return attributes.attributes(path) == std::optional<quint32>(attr::Hidden | attr::Archive);
}

} // namespace quorvane
