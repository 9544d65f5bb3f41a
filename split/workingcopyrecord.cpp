// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "split/workingcopyrecord.h"

#include "platform/filecopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

namespace quorvane {

namespace {

const QRegularExpression& noteName()
{
    static const QRegularExpression name(QStringLiteral("^working-copy-(\\d+)-(\\d+)\\.json$"));
    return name;
}

bool sameContents(const QString& a, const QString& b)
{
    QFile first(a);
    QFile second(b);
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    while (!first.atEnd()) {
        const QByteArray block = first.read(1 << 20);
        if (block.isEmpty() || block != second.read(block.size()))
            return false;
    }
    return true;
}

// The copy a dead run noted is ours to delete only when it is the file that run made (the same file, or
// byte for byte its source's contents) and the source is still there, so nothing the user has is lost.
bool provablyOurs(const QJsonObject& note)
{
    const QString source = note.value(QStringLiteral("source")).toString();
    const QString copy = note.value(QStringLiteral("copy")).toString();
    const QString identity = note.value(QStringLiteral("identity")).toString();
    if (source.isEmpty() || copy.isEmpty() || fileIdentity(copy).isEmpty() || fileIdentity(source).isEmpty())
        return false;
    if (QFileInfo(copy).canonicalFilePath() == QFileInfo(source).canonicalFilePath())
        return false; // the source itself under another spelling
    return (!identity.isEmpty() && fileIdentity(copy) == identity) || sameContents(source, copy);
}

} // namespace

WorkingCopyRecord::WorkingCopyRecord(QString folder)
    : m_folder(std::move(folder))
{
}

WorkingCopyRecord::~WorkingCopyRecord() = default;

void WorkingCopyRecord::made(const QString& source, const QString& copy)
{
    if (m_note.isEmpty() || m_copy != copy) // a copy made over again (a link after a failed clone) keeps its note
        m_note = QDir(m_folder).filePath(
            QStringLiteral("working-copy-%1-%2.json").arg(QCoreApplication::applicationPid()).arg(++m_made));
    m_copy = copy;
    const QJsonObject note { { QStringLiteral("source"), QFileInfo(source).absoluteFilePath() },
        { QStringLiteral("copy"), QFileInfo(copy).absoluteFilePath() },
        { QStringLiteral("identity"), fileIdentity(copy) } };
    QDir().mkpath(m_folder);
    QSaveFile file(m_note);
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(note).toJson(QJsonDocument::Compact));
    file.commit();
}

void WorkingCopyRecord::gone()
{
    if (m_note.isEmpty() || QFileInfo::exists(m_copy))
        return;
    QFile::remove(m_note);
    m_note.clear();
    m_copy.clear();
}

void WorkingCopyRecord::removeLeftovers(const QString& folder)
{
    const QDir dir(folder);
    const qint64 self = QCoreApplication::applicationPid();
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch match = noteName().match(name);
        if (!match.hasMatch())
            continue;
        // A run in this process has no copy in hand when the next starts: a note of this number is older
        // than the process.
        const qint64 pid = match.captured(1).toLongLong();
        if (pid != self && !processIsGone(pid))
            continue;
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
            continue;
        const QJsonObject note = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        const QString copy = note.value(QStringLiteral("copy")).toString();
        if (provablyOurs(note) && !QFile::remove(copy))
            continue; // ours, but its folder will not let go of it now: a later run tries again
        QFile::remove(file.fileName());
    }
}

} // namespace quorvane
