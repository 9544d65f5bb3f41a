// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane::test {

// A file's SHA-256, to show it was left unchanged; empty when it cannot be read.
inline QByteArray digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// Every name in a folder, hidden ones included, sorted.
inline QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// What a player makes of a file: what decoding its video and audio says on FFmpeg's error level (nothing for a
// good file), and how many frames were decoded of each stream, by the stream's index in the file.
struct DecodeReport {
    QString errors;
    QMap<int, long long> frames;
};

inline DecodeReport decodeReport(const QString& path)
{
    QProcess ffmpeg;
    // Every video and audio stream, a second program's too. The decoded frames keep their own times, so the null output
    // never complains of a varying frame rate. Each line says its level, so that the errors can be told from the
    // counts ffmpeg gives at the end.
    ffmpeg.start(QStringLiteral("ffmpeg"),
        { "-nostdin", "-nostats", "-loglevel", "level+verbose", "-i", path, "-map", "0:v?", "-map", "0:a?", "-fps_mode",
            "passthrough", "-enc_time_base", "-1", "-f", "null", "-" });
    DecodeReport report;
    if (!ffmpeg.waitForFinished(120000)) {
        report.errors = QStringLiteral("ffmpeg did not finish");
        return report;
    }
    const QRegularExpression error(QStringLiteral("\\[(error|fatal|panic)\\] "));
    const QRegularExpression decoded(QStringLiteral("Input stream #0:(\\d+) \\(\\w+\\): .*; (\\d+) frames decoded"));
    QStringList errors;
    for (const QString& line : QString::fromUtf8(ffmpeg.readAllStandardError()).split('\n')) {
        if (const QRegularExpressionMatch said = error.match(line); said.hasMatch())
            errors << QString(line).remove(said.capturedStart(), said.capturedLength());
        else if (const QRegularExpressionMatch counted = decoded.match(line); counted.hasMatch())
            report.frames[counted.captured(1).toInt()] = counted.captured(2).toLongLong();
    }
    report.errors = errors.join('\n').trimmed();
    return report;
}

inline QString decodeErrors(const QString& path) { return decodeReport(path).errors; }

// The number of a process that has ended, for what a killed program leaves behind.
inline QString endedProcessId()
{
    QProcess process;
    process.start(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("echo $$") });
    process.waitForFinished();
    return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
}

// How many files a process holds open in `folder` that have no name there (the pieces it writes before
// they are complete); -1 when its descriptors cannot be read.
inline int unnamedFilesOpenIn(qint64 pid, const QString& folder)
{
    const QByteArray fds = QStringLiteral("/proc/%1/fd").arg(pid).toLatin1();
    DIR* dir = ::opendir(fds.constData());
    if (!dir)
        return -1;
    const QString prefix = QDir(folder).absolutePath() + QStringLiteral("/#");
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        char link[4096];
        const ssize_t size = ::readlinkat(::dirfd(dir), entry->d_name, link, sizeof link);
        const QString target = QFile::decodeName(QByteArray(link, size > 0 ? static_cast<int>(size) : 0));
        count += target.startsWith(prefix) && target.endsWith(QStringLiteral(" (deleted)"));
    }
    ::closedir(dir);
    return count;
}

} // namespace quorvane::test
