// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/progressbar.h"

#include "platform/failure.h"

#include <cmath>

namespace quorvane {

ProgressBar::ProgressBar(QWidget* parent)
    : QProgressBar(parent)
{
    // Finer steps than whole percents so a third shows as a third.
    setRange(0, steps);
    setValue(0);
    setTextVisible(false);
}

void ProgressBar::setCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    setTextVisible(!caption.isEmpty());
    update();
    emit captionChanged(caption);
}

void ProgressBar::setPreciseValue(double value)
{
    if (!std::isfinite(value) || value < 0.0 || value > 100.0)
        throw Failure::invalidPropertyValue();
    m_value = value;
    setValue(static_cast<int>(std::lround(value * steps / 100.0)));
    emit preciseValueChanged(value);
}

} // namespace quorvane
