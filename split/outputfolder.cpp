// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "split/outputfolder.h"

#include "core/errorreport.h"
#include "platform/dialogs.h"
#include "platform/paths.h"

namespace quorvane {

void chooseOutputFolder(Dialogs& dialogs, const std::function<void(const QString&)>& setFolderText)
{
    ErrorReport report(dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.PushButton6_Click "));
    QString folder;
    report.step(100, [&] { folder = dialogs.pickFolder(QStringLiteral("Please select folder:")); });
    if (report.test(102, [&] { return folder.isEmpty(); }))
        return;
    if (report.test(104, [&] { return !folder.endsWith(pathSeparator()); })) {
        report.step(106, [&] { setFolderText(folder + pathSeparator()); });
        return;
    }
    report.step(108, [&] { setFolderText(folder); });
}

} // namespace quorvane
