// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

// What the POSIX copy asks of the system it runs on: Linux clones and copies in the kernel, other
// systems byte by byte. Both take open descriptors and throw Failure.
namespace quorvane::posix {

// The failure for an errno value, naming `path`.
[[noreturn]] void failFromErrno(int error, const QString& path);

// Makes `out` (empty, just created) share `in`'s blocks; false when the file system cannot.
bool cloneFile(int in, int out);
// Copies every byte of `in` from its current offset to `out`; a failure names `target`.
void copyFileData(int in, int out, const QString& target);
// The portable fallback of copyFileData: plain reads and writes.
void copyByReadWrite(int in, int out, const QString& target);

} // namespace quorvane::posix
