// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/errorreport.h"
#include "filelist/filelistview.h"
#include "filelist/folderwalk.h"
#include "filelist/listcontext.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/systemfolders.h"

namespace quorvane {

void addSampleFiles(ListContext& c)
{
    ErrorReport report(c.dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.PushButton5_Click "));
    const QChar sep = pathSeparator();
    const QString samples = c.folders.programFolder() + sep + QStringLiteral("Samples");

    QStringList names;
    report.step(100, [&] { names = ListFolderFiles(samples, QStringLiteral("*.*"), c.listing); });
    for (const QString& name : std::as_const(names)) // [102]
        report.step(104, [&] { c.list.AppendRow(samples + sep + name); });
    MessageAnswer answer = MessageAnswer::No;
    report.step(106, [&] {
        answer = c.dialogs.messageBox(QStringLiteral("Would you like this software to open the folder where these "
                                                     "sample files are stored (so that you can view them before "
                                                     "working with them)?"),
            MessageButtons::YesNo);
    });
    report.step(108, [&] {
        if (answer == MessageAnswer::Yes)
            c.shell.openFolder(samples + sep); // whether the file manager came up is not examined
    });
    report.step(108, [&] { c.selectInterval(1); });
}

} // namespace quorvane
