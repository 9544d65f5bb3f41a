// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"

#include <cstdint>
#include <vector>

// On a block-sharing file system a piece's media bytes are shared with the source's only where they lie at the
// same place within a block as there. The piece's media bytes follow the file's order, but only after its first
// moments, where packets of the piece before (stored late in the file) break it up: the first packets wait
// here until a long run of them shows, and the index's room in front grows by what puts that run in place.
namespace quorvane::splitter {

class StartAlignment {
public:
    // A new piece; `blockSize` 0 when its bytes need no aligning.
    void start(int blockSize);
    bool waiting() const { return m_waiting; }
    // Holds `packet` (as given to the writer). True once enough is held to align the piece.
    bool hold(Packet packet);
    // The packets held, in the order given; they no longer wait. `shift` gets how many bytes more room the
    // piece needs in front where the bytes before the held packets end at `written` in the piece (0: none).
    std::vector<Packet> release(std::int64_t written, std::int64_t& shift);

private:
    int m_blockSize = 0;
    bool m_waiting = false;
    std::vector<Packet> m_held;
    std::int64_t m_heldBytes = 0;
};

} // namespace quorvane::splitter
