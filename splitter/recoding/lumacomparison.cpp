// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoding/lumacomparison.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace quorvane::splitter {

namespace {

constexpr double identical = 100.0; // dB given to a picture without error

double psnr(double meanSquaredError, int depth)
{
    const double peak = static_cast<double>((1 << depth) - 1);
    return meanSquaredError > 0 ? 10.0 * std::log10(peak * peak / meanSquaredError) : identical;
}

} // namespace

void LumaComparison::expect(const AVFrame* source)
{
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(source->format));
    Luma luma;
    luma.width = source->width;
    luma.height = source->height;
    m_depth = format ? format->comp[0].depth : 8;
    luma.bytes = m_depth > 8 ? 2 : 1;
    const auto row = static_cast<std::size_t>(luma.width * luma.bytes);
    luma.samples.resize(row * static_cast<std::size_t>(luma.height));
    for (int y = 0; y < luma.height; ++y)
        std::memcpy(
            luma.samples.data() + row * static_cast<std::size_t>(y), source->data[0] + y * source->linesize[0], row);
    m_waiting.push_back(std::move(luma));
}

bool LumaComparison::compare(const AVFrame* ours)
{
    if (m_waiting.empty())
        return false;
    const Luma source = std::move(m_waiting.front());
    m_waiting.pop_front();
    if (ours->width != source.width || ours->height != source.height)
        return false;
    double sum = 0;
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* a = source.samples.data() + static_cast<std::size_t>(y * source.width * source.bytes);
        const std::uint8_t* b = ours->data[0] + y * ours->linesize[0];
        std::int64_t rowSum = 0;
        for (int x = 0; x < source.width; ++x) {
            int d = 0;
            if (source.bytes == 2) {
                std::uint16_t u = 0;
                std::uint16_t v = 0;
                std::memcpy(&u, a + 2 * x, 2);
                std::memcpy(&v, b + 2 * x, 2);
                d = u - v;
            } else {
                d = a[x] - b[x];
            }
            rowSum += d * d;
        }
        sum += static_cast<double>(rowSum);
    }
    const double mse = sum / (static_cast<double>(source.width) * source.height);
    m_squaredErrors += mse;
    m_lowest = std::min(m_lowest, psnr(mse, m_depth));
    ++m_pictures;
    return true;
}

double LumaComparison::overall() const { return m_pictures > 0 ? psnr(m_squaredErrors / m_pictures, m_depth) : 0.0; }

void LumaComparison::add(const LumaComparison& other)
{
    if (other.m_pictures == 0)
        return;
    m_depth = other.m_depth;
    m_pictures += other.m_pictures;
    m_squaredErrors += other.m_squaredErrors;
    m_lowest = std::min(m_lowest, other.m_lowest);
}

} // namespace quorvane::splitter
