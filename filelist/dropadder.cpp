// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/errorreport.h"
#include "filelist/filelistview.h"
#include "filelist/folderwalk.h"
#include "filelist/listcontext.h"
#include "platform/failure.h"
#include "platform/fileattributes.h"
#include "platform/paths.h"

namespace quorvane {

namespace {

// A dropped path is searched as a folder when it is one and is neither hidden nor a system folder. A path
// that is not there (gone since the drag began, or mistyped on the command line) is reported, not listed.
bool isDroppedFolder(const QString& path, FileAttributes& attributes)
{
    const std::optional<quint32> a = attributes.attributes(path);
    if (!a)
        throw Failure(53, QStringLiteral("File not found: %1").arg(path));
    return (*a & attr::Directory) && !(*a & (attr::Hidden | attr::System));
}

} // namespace

void addDroppedPaths(ListContext& c, const QStringList& paths)
{
    // A failure is reported like every other handler's, and the drop goes on with the next path.
    ErrorReport report(c.dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.ListView1_OLEDragDrop "));
    const QChar sep = pathSeparator();
    qsizetype count = 0;
    report.step(100, [&] { count = paths.size(); });
    for (qsizetype i = 0; i < count; ++i) { // [102]
        const int failuresBefore = report.failures();
        const auto failed = [&] { return report.failures() != failuresBefore; };
        QString path;
        report.step(104, [&] { path = paths.at(i); });
        bool folder = false;
        report.step(106, [&] { folder = isDroppedFolder(path, c.attributes); });
        if (failed())
            continue;
        if (!folder) {
            report.step(108, [&] { c.list.AppendRow(path); });
            continue;
        }
        QStringList folders;
        report.step(110, [&] { folders = QStringList { path + sep }; });
        report.step(112, [&] { CollectSubfolders(folders, true, c.listing, c.attributes); });
        for (qsizetype f = 0; f < folders.size() && !failed(); ++f) { // [114]
            QString dir;
            report.step(116, [&] { dir = folders.at(f).chopped(1); });
            QStringList names;
            report.step(118, [&] { names = ListFolderFiles(dir, QStringLiteral("*.*"), c.listing); });
            for (qsizetype n = 0; n < names.size() && !failed(); ++n) { // [120]
                const QString& name = names.at(n);
                QString found;
                report.step(122, [&] { found = dir + sep + name; });
                if (report.test(124, [&] { return skipFoundFile(name, found, c.attributes); }))
                    continue;
                report.step(126, [&] { c.list.AppendRow(repairRootSeparator(found)); });
            } // [128]
        } // [130]
    } // [132]
}

} // namespace quorvane
