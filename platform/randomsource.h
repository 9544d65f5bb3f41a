// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

namespace quorvane {

// Chance, made injectable so tests can decide it.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    // A fraction in [0, 1), drawn afresh at every call.
    virtual double fraction() = 0;
};

class SystemRandomSource : public RandomSource {
public:
    double fraction() override;
};

} // namespace quorvane
