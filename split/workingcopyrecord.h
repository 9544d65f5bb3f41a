// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

// A note, kept in the user's state folder, of the working copy a run has made and not yet deleted. A program
// killed before it could delete its copy leaves the note behind, and the next run deletes the copy when the
// note proves it ours, instead of finding "File already exists" in its way.
class WorkingCopyRecord {
public:
    explicit WorkingCopyRecord(QString folder);
    ~WorkingCopyRecord();
    WorkingCopyRecord(const WorkingCopyRecord&) = delete;
    WorkingCopyRecord& operator=(const WorkingCopyRecord&) = delete;

    // `copy` now names a file this run created as a copy of `source`. A note that cannot be written is not
    // a failure: at worst a killed run's copy is left for the user, as without notes.
    void made(const QString& source, const QString& copy);
    // The copy is deleted (or never came to be): the note goes, unless the copy is still there.
    void gone();

    // Deletes the copies that runs of programs no longer running left behind in `folder`'s notes, where each
    // is still the very file its run made and its source is still there; forgets those notes. Never throws.
    static void removeLeftovers(const QString& folder);

private:
    QString m_folder;
    QString m_note; // the note of the copy in hand
    QString m_copy;
    int m_made = 0;
};

} // namespace quorvane
