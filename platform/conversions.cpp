// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/conversions.h"

#include "platform/failure.h"

#include <QLocale>
#include <QtNumeric>
#include <cmath>
#include <limits>

namespace quorvane {

namespace {

double parseNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        throw Failure::typeMismatch();
    bool ok = false;
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        throw Failure::typeMismatch();
    return value;
}

template <typename T> T roundInto(double value)
{
    // nearbyint honours the default rounding mode, which sends halves to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < static_cast<double>(std::numeric_limits<T>::min())
        || rounded > static_cast<double>(std::numeric_limits<T>::max()))
        throw Failure::overflow();
    return static_cast<T>(rounded);
}

} // namespace

qint16 toInt16(const QString& text) { return roundInto<qint16>(parseNumber(text)); }

qint32 toInt32(const QString& text) { return roundInto<qint32>(parseNumber(text)); }

double toDouble(const QString& text) { return parseNumber(text); }

qint32 multiplyInt32(qint32 a, qint32 b)
{
    qint32 product = 0;
    if (qMulOverflow(a, b, &product))
        throw Failure::overflow();
    return product;
}

} // namespace quorvane
