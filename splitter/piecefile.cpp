// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/piecefile.h"

#include "splitter/signalcleanup.h"
#include "splitter/spliterror.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace quorvane::splitter {

namespace {

constexpr int bufferSize = 1 << 16;

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Short, so that the longest piece name the file system takes still has a hidden name that fits.
std::string hiddenName(const std::string& folder, int attempt)
{
    static std::atomic<int> counter { 0 };
    std::string name = folder;
    if (!name.empty() && name.back() != '/')
        name += '/';
    name += ".quorvane-";
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(++counter + attempt);
    name += ".part";
    return name;
}

#if LIBAVFORMAT_VERSION_MAJOR < 61
int writeBytes(void* opaque, uint8_t* data, int size)
#else
int writeBytes(void* opaque, const uint8_t* data, int size)
#endif
{
    return static_cast<PieceFile*>(opaque)->writeOut(data, size);
}

int64_t seekTo(void* opaque, int64_t offset, int whence)
{
    return static_cast<PieceFile*>(opaque)->seek(offset, whence);
}

bool processIsGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// ".quorvane-<pid>-<n>.part", or ".<piece>.part<pid>" as earlier versions named a piece being written (a
// piece's name ends in "_" and at least three digits before its extension): the pid, else 0.
long ownerOfStalePart(const char* name)
{
    static const std::regex current(R"(\.quorvane-(\d+)-\d+\.part)");
    static const std::regex earlier(R"(\..+_\d{3,}(\.[^./]+)?\.part(\d+)(-\d+)?)");
    std::cmatch match;
    if (std::regex_match(name, match, current))
        return std::strtol(match[1].first, nullptr, 10);
    if (std::regex_match(name, match, earlier))
        return std::strtol(match[2].first, nullptr, 10);
    return 0;
}

} // namespace

PieceFile::PieceFile(std::string finalPath)
    : m_final(std::move(finalPath))
{
    const std::string folder = folderOf(m_final);
    const std::string name = baseName(m_final);
#ifdef O_TMPFILE
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    m_unnamed = m_fd >= 0 && ::access("/proc/self/fd", X_OK) == 0;
    if (m_fd >= 0 && !m_unnamed) {
        ::close(m_fd);
        m_fd = -1;
    }
#endif
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_hidden = hiddenName(folder, attempt);
        m_slot = setFileInProgress(m_hidden);
        m_fd = ::open(m_hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            break;
        const int error = errno;
        clearFileInProgress(std::exchange(m_slot, -1));
        m_hidden.clear();
        if (error != EEXIST || attempt > 100)
            failFile(name, AVERROR(error));
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (buffer)
        m_io = avio_alloc_context(buffer, bufferSize, 1, this, nullptr, writeBytes, seekTo);
    if (!m_io) {
        av_free(buffer);
        discard();
        throw std::bad_alloc();
    }
    m_io->seekable = AVIO_SEEKABLE_NORMAL;
}

PieceFile::~PieceFile()
{
    if (m_copier.joinable())
        m_copier.join();
    discard();
}

int PieceFile::sharingBlockSize() const
{
    struct statfs fs { };
    if (::fstatfs(m_fd, &fs) != 0 || fs.f_bsize <= 0)
        return 0;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x58465342UL: // XFS
    case 0x9123683EUL: // Btrfs
    case 0xCA451A4EUL: // bcachefs
    case 0x2FC12FC1UL: // ZFS
    case 0x6969UL: // NFS
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
        return static_cast<int>(fs.f_bsize);
    default:
        return 0;
    }
}

void PieceFile::copyPayloadFrom(int source, bool kernelCopy)
{
    avio_flush(m_io);
    m_payload = std::make_unique<PayloadRuns>();
    m_source = source;
    m_kernelCopy = kernelCopy;
    // Every write reaches us as the muxer made it, so a packet's bytes arrive whole, at their own address.
    m_io->direct = 1;
}

int PieceFile::writeOut(const std::uint8_t* data, int size)
{
    // The place in the file is kept here rather than in the descriptor: a packet left as a hole then costs
    // no call into the kernel at all.
    if (m_payload && m_payload->take(data, size, m_pos)) {
        // Left as a hole for now; the run is copied into it when the piece is complete.
        m_pos += size;
        m_end = std::max(m_end, m_pos);
        return size;
    }
    for (int done = 0; done < size;) {
        const ssize_t put = ::pwrite(m_fd, data + done, static_cast<std::size_t>(size - done), m_pos + done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return AVERROR(errno);
        }
        done += static_cast<int>(put);
    }
    m_pos += size;
    m_end = std::max(m_end, m_pos);
    return size;
}

std::int64_t PieceFile::seek(std::int64_t offset, int whence)
{
    // The end is where the piece ends, holes still to be filled included.
    const std::int64_t to = seekTarget(offset, whence, m_pos, m_end);
    if (to >= 0 && !(whence & AVSEEK_SIZE))
        m_pos = to;
    return to;
}

std::string PieceFile::readableName() const { return "/proc/self/fd/" + std::to_string(m_fd); }

void PieceFile::startCopy()
{
    avio_flush(m_io);
    if (m_io->error < 0) {
        const int error = m_io->error;
        discard();
        failFile(baseName(m_final), error);
    }
    // The copier has the descriptors and the runs to itself until commit() joins it.
    if (m_payload)
        m_copier = std::thread(
            [this] { m_copyResult = m_payload->copy(m_source, m_fd, m_kernelCopy, sharingBlockSize(), m_copied); });
}

void PieceFile::commit()
{
    const std::string name = baseName(m_final);
    if (!m_copier.joinable())
        startCopy();
    if (m_copier.joinable())
        m_copier.join();
    if (m_payload) {
        const int copied = m_copyResult;
        if (copied < 0) {
            discard();
            if (copied == AVERROR_EOF) // the source, not the disk: a file cut short while it was split
                failWriting(name, AVERROR_INVALIDDATA);
            failFile(name, copied);
        }
    }
    if (m_unnamed) {
        // A name of its own first, then over the piece's name in one step, replacing an older piece.
        const std::string fdPath = readableName();
        for (int attempt = 0;; ++attempt) {
            m_hidden = hiddenName(folderOf(m_final), attempt);
            m_slot = setFileInProgress(m_hidden);
            if (::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, m_hidden.c_str(), AT_SYMLINK_FOLLOW) == 0)
                break;
            const int error = errno;
            clearFileInProgress(std::exchange(m_slot, -1));
            m_hidden.clear();
            if (error != EEXIST || attempt > 100) {
                discard();
                failFile(name, AVERROR(error));
            }
        }
    }
    if (::close(m_fd) != 0) {
        const int error = errno;
        m_fd = -1;
        discard();
        failFile(name, AVERROR(error));
    }
    m_fd = -1;
    if (::rename(m_hidden.c_str(), m_final.c_str()) != 0) {
        const int error = errno;
        discard();
        failFile(name, AVERROR(error));
    }
    clearFileInProgress(std::exchange(m_slot, -1));
    m_hidden.clear();
    discard();
}

void PieceFile::discard()
{
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_hidden.empty()) {
        ::unlink(m_hidden.c_str());
        m_hidden.clear();
    }
    clearFileInProgress(std::exchange(m_slot, -1));
}

void PieceFile::removeStaleParts(const std::string& folder)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const long pid = ownerOfStalePart(entry->d_name);
        if (processIsGone(pid))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace quorvane::splitter
