// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/orchestrator/stretchplanner.h"

#include "splitter/bitstream/avcrestart.h"
#include "splitter/system/systemfile.h"

#include <algorithm>
#include <map>

namespace quorvane::splitter {

StretchPlanner::StretchPlanner(
    const std::string& input, const AVStream* ref, const MediaLayout& layout, KeyframeScan& scan)
    : m_input(input)
    , m_ref(ref)
    , m_layout(layout)
    , m_scan(scan)
{
}

ExactCuts StretchPlanner::planStretches(const std::vector<std::int64_t>& cuts, std::int64_t slack) const
{
    std::vector<std::int64_t> pts;
    std::vector<std::int64_t> dts;
    std::vector<bool> key;
    std::map<std::size_t, IndexedSample> keySamples; // by decoding index
    m_scan.samples->forEach(m_layout.ref, [&](const IndexedSample& sample) {
        if (sample.key)
            keySamples.emplace(pts.size(), sample);
        pts.push_back(sample.pts);
        dts.push_back(sample.dts);
        key.push_back(sample.key);
    });
    // After pictures encoded again an HEVC keyframe starts over at the end of sequence between them; an
    // H.264 one if it is an IDR picture or its slice headers can make it one (AvcRestart).
    const SystemFile file = SystemFile::openForReading(m_input);
    const auto header = codecHeaderOf(m_layout, m_ref);
    AvcRestart pictures(header.data(), static_cast<int>(header.size()));
    const auto followsNewPictures = [&](std::size_t index) {
        if (m_ref->codecpar->codec_id != AV_CODEC_ID_H264)
            return true;
        const auto found = keySamples.find(index);
        if (found == keySamples.end())
            return false;
        const IndexedSample& sample = found->second;
        if (sample.afresh || sample.pos < 0)
            return sample.afresh.value_or(false);
        std::vector<std::uint8_t> head(static_cast<std::size_t>(std::clamp<std::int64_t>(sample.size, 0, 1 << 16)));
        return file.read(head.data(), static_cast<std::int64_t>(head.size()), sample.pos) >= 0
            && pictures.canStartAfresh(head.data(), head.size()).value_or(false);
    };
    return quorvane::splitter::planExactCuts(pts, dts, key, cuts, slack, followsNewPictures);
}

void StretchPlanner::applyStretches(ExactCuts cuts, Recoder& recoder)
{
    recoder.setStretches(std::move(cuts.stretches));
    // The new keyframes start pieces; a piece may run up to the first picture shown at or after its length.
    StartingKeyframes& keys = m_scan.keys;
    for (std::size_t k = 0; k < cuts.keyPts.size(); ++k) {
        const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), cuts.keyPts[k]) - keys.pts.begin();
        keys.pts.insert(keys.pts.begin() + at, cuts.keyPts[k]);
        keys.dts.insert(keys.dts.begin() + at, cuts.keyDts[k]);
        keys.open.insert(keys.open.begin() + at, false);
    }
    // Open groups' keyframes whose leading pictures are encoded again start pieces as closed ones do.
    for (std::size_t k = 0; k < cuts.cleanedPts.size(); ++k) {
        const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), cuts.cleanedPts[k]) - keys.pts.begin();
        if (const auto i = static_cast<std::size_t>(at); i < keys.pts.size() && keys.pts[i] == cuts.cleanedPts[k]) {
            keys.dts[i] = cuts.cleanedDts[k];
            keys.open[i] = false;
            continue;
        }
        keys.pts.insert(keys.pts.begin() + at, cuts.cleanedPts[k]);
        keys.dts.insert(keys.dts.begin() + at, cuts.cleanedDts[k]);
        keys.open.insert(keys.open.begin() + at, false);
    }
}

void StretchPlanner::planExactCuts(Recoder& recoder, const std::vector<std::int64_t>& cuts, std::int64_t slack)
{
    applyStretches(planStretches(cuts, slack), recoder);
}

bool StretchPlanner::encodeLeadingPictures(Recoder& recoder, const PieceRule& rule, std::int64_t slack)
{
    // An open group's keyframe starts a piece once the pictures shown before it but decoded after it (which
    // need the group before) are encoded again: no player then has to hide a picture at the end of the piece
    // before, nor show pictures decoded from the wrong ones at the start of the next.
    StartingKeyframes& keys = m_scan.keys;
    for (;;) {
        const SplitPlan plan = planFromKeyframes(keys, rule, m_scan.start);
        std::vector<std::int64_t> cuts;
        for (std::size_t p = 1; p < plan.pieces.size(); ++p) {
            const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), plan.pieces[p].start);
            if (at != keys.pts.end() && *at == plan.pieces[p].start
                && keys.open[static_cast<std::size_t>(at - keys.pts.begin())])
                cuts.push_back(plan.pieces[p].start);
        }
        if (cuts.empty())
            return false;
        ExactCuts made = planStretches(cuts, slack);
        // A keyframe whose leading pictures cannot be encoded again (its groups are tangled) is no cut.
        bool all = true;
        for (const std::int64_t cut : cuts) {
            if (std::find(made.cleanedPts.begin(), made.cleanedPts.end(), cut) != made.cleanedPts.end())
                continue;
            const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), cut) - keys.pts.begin();
            keys.pts.erase(keys.pts.begin() + at);
            keys.dts.erase(keys.dts.begin() + at);
            keys.open.erase(keys.open.begin() + at);
            ++keys.passedOver;
            all = false;
        }
        if (all) {
            applyStretches(std::move(made), recoder);
            return true;
        }
    }
}

void StretchPlanner::passOverOpenKeyframes()
{
    StartingKeyframes& keys = m_scan.keys;
    for (std::size_t k = keys.pts.size(); k-- > 1;) {
        if (!keys.open[k])
            continue;
        keys.pts.erase(keys.pts.begin() + static_cast<std::ptrdiff_t>(k));
        keys.dts.erase(keys.dts.begin() + static_cast<std::ptrdiff_t>(k));
        keys.open.erase(keys.open.begin() + static_cast<std::ptrdiff_t>(k));
        ++keys.passedOver;
    }
}

} // namespace quorvane::splitter
