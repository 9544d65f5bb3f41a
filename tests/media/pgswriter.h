// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <string>
#include <utility>
#include <vector>

// Blu-ray subtitle pictures (PGS, a .sup file) made from nothing but the format's description, since FFmpeg
// cannot draw text into pictures: each event a filled box shown from its first time to its second, for a
// picture of 720x576. FFmpeg reads the file and re-encodes its pictures as DVD or DVB subtitles.
namespace quorvane::test {

// Writes the events (start and end in seconds, ascending, not overlapping); false when it cannot.
bool writePgsSubtitles(const std::string& path, const std::vector<std::pair<double, double>>& events);

} // namespace quorvane::test
