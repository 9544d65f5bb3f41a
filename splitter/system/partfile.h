// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/system/systemfile.h"

#include <memory>
#include <string>

// A new file that gets its name only once it is whole. Where the system allows, nothing of it is left if the
// tool is killed, the power fails or the folder turns read-only: on Linux it has no name at all until then
// (O_TMPFILE); on Windows it is marked to be deleted when its last handle closes, which a kill closes too.
// Elsewhere, and meanwhile, it has a short hidden name that the signal clean-up removes, and that the next run
// in the folder removes if its process is gone. One implementation per system (partfile_posix.cpp,
// partfile_win.cpp), chosen in CMake.
namespace quorvane::splitter {

class PartFile {
public:
    // A new, empty file in `folder`; nullptr, with the reason in `error`, when it cannot be made.
    static std::unique_ptr<PartFile> create(const std::string& folder, int& error);
    // The file goes, unless it was named.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    SystemFile& file() { return m_file; }
    // A name by which the file may be opened again for reading while it is written.
    std::string readableName() const;
    // It will be opened by that name (a muxer moving an MP4 index to the front). Where a file that is kept
    // from being left behind cannot be opened by name (Windows), it keeps its hidden name from now on, which
    // the signal clean-up and the next run in the folder remove.
    void willBeReopened();
    // Gives the file `finalPath`, in one step replacing a file of that name, and closes it. 0, or the error
    // after which the file is gone.
    int name(const std::string& finalPath);

    // Removes hidden files of this tool in `folder` that a process now gone was writing.
    static void removeStaleParts(const std::string& folder);

private:
    PartFile() = default;
    // Gives the file a hidden name of its own in `folder`: 0 or the error.
    int hide(const std::string& folder, bool create);
    void discard();

    SystemFile m_file;
    std::string m_hidden; // the hidden name, while it has one
    bool m_unnamed = false; // no name (Linux), or one that goes with the last handle (Windows)
    int m_slot = -1; // its slot in the signal clean-up, while it has a hidden name
};

} // namespace quorvane::splitter
