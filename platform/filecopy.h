// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

#include <functional>

namespace quorvane {

// How a working copy was made.
enum class CopyKind { Clone, Link, Copy };

// Makes `target` a copy of `source` for reading only, the cheapest way the file system allows: a
// copy-on-write clone, else a hard link (same file system), else a full copy. Never replaces an existing
// target. Throws Failure: "File not found", "Path not found", "Permission denied", "File already exists",
// "Disk full". `made` is called as soon as `target` names a file this call created (before its data is
// complete), so the caller can note it down before a kill could leave it behind.
CopyKind copyForReading(
    const QString& source, const QString& target, const std::function<void()>& made = [] {});

// True when both paths name the same file (also through links or different spellings).
bool sameFile(const QString& a, const QString& b);

// A name for the file itself, the same through every link to it and different for any other file on the
// system (device and inode); "" for anything that is not a regular file, or where the system cannot say.
QString fileIdentity(const QString& path);

// True only when no process of that number exists any more; false when it runs or nobody can tell.
bool processIsGone(qint64 pid);

// Lets the owner run the file.
void makeExecutable(const QString& path);

// A new folder only the user can enter, inside `parent`, named after this process
// ("quorvane-<pid>-<random>"); throws Failure when it cannot be made.
QString makePrivateFolder(const QString& parent);

// The path makePrivateFolder tries next inside `parent`: "quorvane-<pid>-<16 hex digits>".
QString privateFolderCandidate(const QString& parent);

// Removes the private folders in `parent` that a program killed before it could clean up left behind: only
// folders of this user, named as makePrivateFolder names them, whose process is gone, and holding nothing
// but `toolName`. Never reports anything.
void removeStalePrivateFolders(const QString& parent, const QString& toolName);

} // namespace quorvane
