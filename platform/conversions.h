// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <QtGlobal>

namespace quorvane {

// Text to whole numbers the way stored settings and typed answers have always been read: blanks around the
// number are ignored, the user's decimal separator (or ".") is accepted, a fraction rounds to the nearest
// whole number with halves to the even neighbour. Throws Failure: "Type mismatch" for text that is not a
// number, "Overflow" for a number outside the target type.
qint16 toInt16(const QString& text);
qint32 toInt32(const QString& text);
// The same reading without the rounding, for answers that may have a fraction.
double toDouble(const QString& text);

// a * b, throwing "Overflow" when the product does not fit in 32 bits.
qint32 multiplyInt32(qint32 a, qint32 b);

} // namespace quorvane
