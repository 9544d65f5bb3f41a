// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Which piece a packet belongs to, from its times alone (in the deciding stream's ticks): no FFmpeg types,
// so the tests drive it without files.
namespace quorvane::splitter {

class PacketRouter {
public:
    // Piece p > 0 begins with the deciding stream's packet decoded at `cutDts[p]`; piece 0 shows from
    // `firstStart`.
    PacketRouter(std::vector<std::int64_t> cutDts, std::int64_t firstStart);

    int pieces() const { return static_cast<int>(m_cutDts.size()); }
    int referencePiece() const { return m_refPiece; }

    // A packet of the deciding stream: its piece. The first packet of each piece fixes where the piece's
    // pictures start (`pts`, or `dts` without one).
    int reference(std::optional<std::int64_t> dts, std::optional<std::int64_t> pts);

    // A packet of another stream decoded at `time`: its piece, or nullopt while the deciding stream has not
    // yet shown whether it falls before or after the next cut. A packet without a time goes with the
    // deciding stream.
    std::optional<int> place(std::optional<std::int64_t> time) const;

    // For a plan made while reading: one more piece, beginning with the packet decoded at `dts`.
    void addCut(std::int64_t dts);
    // A cut that may yet come at the packet decoded at `dts`: until it is settled, later times wait.
    void setPossibleCut(std::optional<std::int64_t> dts) { m_possibleCut = dts; }

    // Where piece `piece` starts showing; known once the deciding stream has reached it.
    std::optional<std::int64_t> start(int piece) const { return m_start[static_cast<std::size_t>(piece)]; }

private:
    std::vector<std::int64_t> m_cutDts;
    std::vector<std::optional<std::int64_t>> m_start;
    int m_refPiece = 0;
    std::optional<std::int64_t> m_possibleCut;
};

} // namespace quorvane::splitter
