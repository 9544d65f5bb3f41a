// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <string>

// How the tool names its pieces and writes a time or a file in its messages: plain text, tested in-process.
namespace quorvane::splitter {

// clip.mp4 -> clip_001.mp4 beside it; Clip.MP4 -> Clip_001.MP4; 1000 and on take the digits they need.
std::string pieceFileName(const std::string& path, int number);

// 754.2 -> "0:12:34.2": how a time in a message reads.
std::string clockTime(double seconds);

// 26214400 -> "25.0 MB", in units of 1024, as sizes are asked for.
std::string byteSize(std::int64_t bytes);

} // namespace quorvane::splitter
