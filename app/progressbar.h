// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QProgressBar>

namespace quorvane {

// A progress bar from 0 to 100 that keeps the exact value it was given (33.33…), not a rounded one.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    double preciseValue() const { return m_value; }
    void setPreciseValue(double value);
    // Words on the bar (which file, how far); none when empty. Shown as given: no placeholders.
    void setCaption(const QString& caption);
    QString text() const override { return m_caption; }

signals:
    void preciseValueChanged(double value);
    void captionChanged(const QString& caption);

private:
    static constexpr int steps = 1000;
    double m_value = 0.0;
    QString m_caption;
};

} // namespace quorvane
