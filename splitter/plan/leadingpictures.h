// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Whether a keyframe opens an open group of pictures: pictures decoded after it, before the next keyframe, are
// shown before it (its leading pictures). They refer to the group before, so a piece starting at that keyframe
// would lose them or show them broken. The one place this is decided, whether the pictures come one at a time
// (while reading) or all at once.
namespace quorvane::splitter {

class LeadingPictures {
public:
    // The deciding stream's next picture, in decoding order; a keyframe starts the next group.
    void picture(std::int64_t pts, bool key)
    {
        if (key) {
            m_keyPts = pts;
            m_haveKey = true;
            m_open = false;
        } else if (leads(pts)) {
            m_open = true;
        }
    }
    // Whether a picture of the latest keyframe's group shown at `pts` is one of its leading pictures.
    bool leads(std::int64_t pts) const { return m_haveKey && pts < m_keyPts; }
    // Whether the latest keyframe's group is open, from its pictures so far.
    bool open() const { return m_open; }

private:
    std::int64_t m_keyPts = 0;
    bool m_haveKey = false;
    bool m_open = false;
};

// Whether the keyframe decoded at `k` (`key[k]`) has leading pictures; `pts` and `key` are the deciding stream's
// pictures in decoding order.
bool hasLeadingPictures(const std::vector<std::int64_t>& pts, const std::vector<bool>& key, std::size_t k);

} // namespace quorvane::splitter
