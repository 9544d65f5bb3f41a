// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy_posix.h"
#include "platform/filecopy.h"

#include "platform/failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace posix {

void failFromErrno(int error, const QString& path)
{
    switch (error) {
    case ENOENT:
        throw Failure::pathNotFound().about(path);
    case EEXIST:
        throw Failure::fileAlreadyExists().about(path);
    case ENOSPC:
    case EDQUOT:
        throw Failure(61, QStringLiteral("Disk full")).about(path);
    case EACCES:
    case EPERM:
    case EROFS:
        throw Failure::permissionDenied().about(path);
    default:
        throw Failure(75, QStringLiteral("Path/File access error")).about(path);
    }
}

void copyByReadWrite(int in, int out, const QString& target)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0)
            return;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failFromErrno(errno, target);
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                failFromErrno(errno, target);
            }
            done += put;
        }
    }
}

} // namespace posix

namespace {

// "/home/ann/Out/clip.mp4" -> "/home/ann/Out/": the folder as the user typed it, with its separator.
QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral("./") : path.left(slash + 1);
}

// Closes its descriptor however the scope is left.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// O_EXCL: whatever already lies at the path is never replaced. A missing folder is named as the folder.
int createNew(const QString& target, mode_t mode)
{
    const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw Failure::pathNotFound().about(folderOf(target));
        posix::failFromErrno(error, target);
    }
    return fd;
}

} // namespace

CopyKind copyForReading(const QString& source, const QString& target, const std::function<void()>& made)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    Descriptor in { ::open(from.constData(), O_RDONLY | O_CLOEXEC) };
    if (in.fd < 0) {
        if (errno == ENOENT)
            throw Failure::fileNotFound().about(source);
        posix::failFromErrno(errno, source);
    }
    struct stat status { };
    if (::fstat(in.fd, &status) != 0 || !S_ISREG(status.st_mode))
        throw Failure::fileNotFound().about(source);
    const mode_t mode = status.st_mode & 0777;
    {
        Descriptor out { createNew(target, mode) };
        made();
        if (posix::cloneFile(in.fd, out.fd))
            return CopyKind::Clone;
    }
    // A hard link in place of the empty file, when both sit on one file system.
    ::unlink(to.constData());
    if (::link(from.constData(), to.constData()) == 0) {
        made();
        return CopyKind::Link;
    }
    if (errno == EEXIST)
        throw Failure::fileAlreadyExists().about(target);
    Descriptor out { createNew(target, mode) };
    made();
    try {
        posix::copyFileData(in.fd, out.fd, target);
    } catch (...) {
        ::unlink(to.constData()); // a half copy is ours to remove
        throw;
    }
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (closed != 0) {
        const int error = errno;
        ::unlink(to.constData());
        posix::failFromErrno(error, target);
    }
    return CopyKind::Copy;
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat first { };
    struct stat second { };
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 || ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool processIsGone(qint64 pid)
{
    // kill with no signal only asks; ESRCH is the one answer that says nobody has that number.
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

QString makePrivateFolder(const QString& parent)
{
    if (!QFileInfo(parent).isDir())
        throw Failure::pathNotFound().about(parent);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = privateFolderCandidate(parent);
        // mkdir with 0700 creates it for us alone, or fails if the name is taken: nobody can slip in.
        if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0)
            return QDir::toNativeSeparators(path);
        if (errno != EEXIST)
            posix::failFromErrno(errno, parent);
    }
    throw Failure::permissionDenied().about(parent);
}

void removeStalePrivateFolders(const QString& parent, const QString& toolName)
{
    static const QRegularExpression ours(QStringLiteral("^quorvane-(\\d+)-[0-9a-f]{16}$"));
    const QDir dir(parent);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = ours.match(name);
        if (!match.hasMatch())
            continue;
        const QString folder = dir.filePath(name);
        struct stat status { };
        if (::lstat(QFile::encodeName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode)
            || status.st_uid != ::getuid())
            continue;
        if (!processIsGone(match.captured(1).toLongLong()))
            continue; // its program may still be running
        const QStringList inside = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (!inside.isEmpty() && inside != QStringList { toolName })
            continue; // something that is not ours
        if (!inside.isEmpty())
            ::unlink(QFile::encodeName(QDir(folder).filePath(toolName)).constData());
        ::rmdir(QFile::encodeName(folder).constData());
    }
}

} // namespace quorvane
