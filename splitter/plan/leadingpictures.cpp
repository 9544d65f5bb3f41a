// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/plan/leadingpictures.h"

namespace quorvane::splitter {

bool hasLeadingPictures(const std::vector<std::int64_t>& pts, const std::vector<bool>& key, std::size_t k)
{
    LeadingPictures group;
    group.picture(pts[k], true);
    for (std::size_t j = k + 1; j < pts.size() && !key[j] && !group.open(); ++j)
        group.picture(pts[j], false);
    return group.open();
}

} // namespace quorvane::splitter
