// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/partfile.h"

#include "splitter/system/signalcleanup.h"

extern "C" {
#include <libavutil/error.h>
}

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane::splitter {

namespace {

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

std::unique_ptr<PartFile> PartFile::create(const std::string& folder, int& error)
{
    std::unique_ptr<PartFile> part(new PartFile);
#ifdef O_TMPFILE
    // Reopened by name through /proc, which a muxer moving its index to the front needs.
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0 && ::access("/proc/self/fd", X_OK) == 0) {
        part->m_file = SystemFile(fd);
        part->m_unnamed = true;
        return part;
    }
    if (fd >= 0)
        ::close(fd);
#endif
    error = part->hide(folder, true);
    return error < 0 ? nullptr : std::move(part);
}

int PartFile::hide(const std::string& folder, bool create)
{
    const std::string fdPath = create ? std::string() : readableName();
    for (int attempt = 0;; ++attempt) {
        m_hidden = hiddenName(folder, attempt);
        m_slot = setFileInProgress(m_hidden);
        int made = -1;
        if (create) {
            made = ::open(m_hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (made >= 0)
                m_file = SystemFile(made);
        } else {
            made = ::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, m_hidden.c_str(), AT_SYMLINK_FOLLOW);
        }
        if (made >= 0)
            return 0;
        const int error = errno;
        clearFileInProgress(std::exchange(m_slot, -1));
        m_hidden.clear();
        if (error != EEXIST || attempt > 100)
            return AVERROR(error);
    }
}

PartFile::~PartFile() { discard(); }

std::string PartFile::readableName() const { return "/proc/self/fd/" + std::to_string(m_file.native()); }

void PartFile::willBeReopened() { } // through /proc, unnamed or not

int PartFile::name(const std::string& finalPath)
{
    // A name of its own first, then over the piece's name in one step, replacing an older piece.
    if (m_unnamed) {
        if (const int error = hide(folderOf(finalPath), false); error < 0) {
            discard();
            return error;
        }
    }
    if (const int error = m_file.close(); error < 0) {
        discard();
        return error;
    }
    if (::rename(m_hidden.c_str(), finalPath.c_str()) != 0) {
        const int error = AVERROR(errno);
        discard();
        return error;
    }
    clearFileInProgress(std::exchange(m_slot, -1));
    m_hidden.clear();
    return 0;
}

void PartFile::discard()
{
    m_file.close();
    if (!m_hidden.empty()) {
        ::unlink(m_hidden.c_str());
        m_hidden.clear();
    }
    clearFileInProgress(std::exchange(m_slot, -1));
}

void PartFile::removeStaleParts(const std::string& folder)
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
