// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace quorvane {

// The classic file attribute bits the folder rules are written in.
namespace attr {
constexpr quint32 ReadOnly = 0x1;
constexpr quint32 Hidden = 0x2;
constexpr quint32 System = 0x4;
constexpr quint32 Directory = 0x10;
constexpr quint32 Archive = 0x20;
constexpr quint32 ReparsePoint = 0x400; // a symbolic link or junction
} // namespace attr

// Attributes of a path. On Linux a name beginning with "." is hidden, nothing is a system file, read-only
// means the owner cannot write, every regular file carries the archive bit, and a symbolic link is a
// reparse point; on Windows the real ones.
class FileAttributes {
public:
    virtual ~FileAttributes() = default;
    // std::nullopt when the path does not exist or cannot be examined.
    virtual std::optional<quint32> attributes(const QString& path) = 0;

    // An existing file that is neither a folder nor hidden nor a system file.
    bool isNormalFile(const QString& path);
};

class NativeFileAttributes : public FileAttributes {
public:
    std::optional<quint32> attributes(const QString& path) override;
};

} // namespace quorvane
