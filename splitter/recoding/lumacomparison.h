// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

// How close pictures encoded again are to the source's: the luma PSNR of each, the source's pictures waiting
// in the order they were sent to the encoder until the encoder's come back decoded.
namespace quorvane::splitter {

class LumaComparison {
public:
    // A source picture sent to the encoder; its luma is kept until compared.
    void expect(const AVFrame* source);
    // The encoder's next picture, decoded: compared with the oldest source picture waiting. False when none
    // waits or their sizes differ.
    bool compare(const AVFrame* ours);
    bool allCompared() const { return m_waiting.empty(); }
    int pictures() const { return m_pictures; }
    double lowest() const { return m_pictures > 0 ? m_lowest : 0.0; }
    // Of all the pictures' squared errors together.
    double overall() const;
    void add(const LumaComparison& other);

private:
    struct Luma {
        int width = 0;
        int height = 0;
        int bytes = 1; // a sample's
        std::vector<std::uint8_t> samples;
    };
    std::deque<Luma> m_waiting;
    int m_pictures = 0;
    int m_depth = 8;
    double m_lowest = 1e9;
    double m_squaredErrors = 0; // mean squared error, summed over pictures
};

} // namespace quorvane::splitter
