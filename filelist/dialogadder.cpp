// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/appsettings.h"
#include "core/errorreport.h"
#include "filelist/filelistview.h"
#include "filelist/listcontext.h"
#include "platform/commondialog.h"
#include "platform/dialogs.h"
#include "platform/paths.h"

namespace quorvane {

void addFilesByDialog(ListContext& c)
{
    ErrorReport report(c.dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.PushButton1_Click "));
    // More names than the dialog's buffer holds: a word of advice instead of the error box, and nothing added.
    report.endOnCode(Dialogs::bufferTooSmall, [&] {
        c.dialogs.messageBox(QStringLiteral("You've selected too many files to add.\r\rPlease try adding via the "
                                            "\"Add All\" button."));
    });
    CommonDialog& dialog = c.commonDialog;

    report.step(100, [&] { dialog.setFileName(QString()); });
    report.step(102, [&] {
        dialog.setFlags(
            CommonDialog::ReadOnly | CommonDialog::AllowMultiSelect | CommonDialog::Explorer | CommonDialog::LongNames);
    });
    report.step(
        104, [&] { dialog.setDialogTitle(QStringLiteral("Add File(s) - Use Ctrl & Shift to select multiple files")); });
    report.step(106, [&] { dialog.setFilter(QStringLiteral("MP4 Files (*.mp4)|*.mp4|")); });
    report.step(108, [&] { dialog.showOpen(); });
    if (report.test(110, [&] { return dialog.fileName().isEmpty(); }))
        return;
    QStringList parts;
    report.step(112, [&] { parts = dialog.fileName().split(QChar(0)); });
    if (report.test(114, [&] { return parts.size() == 1; })) {
        QString path;
        report.step(116, [&] { path = parts.value(0); });
        report.step(118, [&] { c.list.AppendRow(path); });
        return;
    }
    // [120] to [126]: for each name after the folder.
    for (qsizetype i = 1; i < parts.size() && !report.ended(); ++i) {
        QString path;
        report.step(128, [&] { path = parts.at(0) + pathSeparator() + parts.at(i); });
        report.step(130, [&] { path = repairRootSeparator(path); });
        report.step(132, [&] { c.list.AppendRow(path); });
    } // [134]
}

} // namespace quorvane
