// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/appsettings.h"
#include "core/errorreport.h"
#include "filelist/filelistview.h"
#include "filelist/folderwalk.h"
#include "filelist/listcontext.h"
#include "platform/dialogs.h"
#include "platform/paths.h"

namespace quorvane {

void addAllFilesInFolder(ListContext& c)
{
    ErrorReport report(c.dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.PushButton4_Click "));
    const QChar sep = pathSeparator();

    QString answer;
    report.step(100, [&] {
        answer = c.dialogs.inputBox(QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all "
                                                   "txt files, doc for all doc files, etc.)"),
            QString(), QStringLiteral("mp4"));
    });
    if (report.test(102, [&] { return answer.isEmpty(); }))
        return;
    report.step(104, [&] { c.settings.setExtension(answer); });
    QString folder;
    report.step(106, [&] { folder = PickFolder(c.dialogs, QStringLiteral("Please select folder:")); });
    if (report.test(108, [&] { return folder.isEmpty(); }))
        return;
    report.step(110, [&] { c.setMousePointer(MousePointer::Hourglass); });
    QStringList folders;
    report.step(112, [&] { folders = QStringList { folder + sep }; });
    report.step(114, [&] { CollectSubfolders(folders, true, c.listing, c.attributes); });
    const QString pattern = QStringLiteral("*.") + answer;
    for (const QString& entry : std::as_const(folders)) { // [116]
        QString dir;
        report.step(118, [&] { dir = entry.chopped(1); });
        QStringList names;
        report.step(120, [&] { names = ListFolderFiles(dir, pattern, c.listing); });
        for (const QString& name : std::as_const(names)) { // [122]
            if (report.test(124, [&] { return name.startsWith(QLatin1Char('~')); }))
                continue;
            QString path;
            report.step(126, [&] { path = dir + sep + name; });
            if (report.test(128, [&] { return skipFoundFile(name, path, c.attributes); }))
                continue;
            report.step(128, [&] { c.list.AppendRow(repairRootSeparator(path)); });
        } // [130]
    }
    report.step(132, [&] { c.setMousePointer(MousePointer::Default); });
}

} // namespace quorvane
