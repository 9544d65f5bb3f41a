// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <array>

namespace quorvane {

class Dialogs;

// How each file is cut: into pieces of a playing time (the interval box), pieces of at most a size on disk,
// or a number of parts of equal length. The values are the way box's indices, as stored.
enum class SplitWay { Length = 0, Size = 1, Parts = 2 };

const std::array<const char*, 3>& wayChoices();

// One entry of the size box. `argument` is what the tool gets after -splits; a custom entry has none and asks
// for a number of megabytes. `limit` names the size in the row's words.
struct SizeChoice {
    const char* text;
    const char* argument;
    const char* limit;
};

const std::array<SizeChoice, 6>& sizeChoices();

// One entry of the parts box; a custom entry has no count and asks for one.
struct PartsChoice {
    const char* text;
    qint32 parts;
};

const std::array<PartsChoice, 6>& partsChoices();

inline constexpr qint32 mostParts = 10000; // the tool makes no more

// What the tool is told about the pieces of one file, and how the row names a size limit ("25 MB").
struct PieceMeasure {
    QStringList arguments;
    QString limit;
};

// The measure for the size or parts box's current text; a custom entry asks through `dialogs` every time.
// Throws Failure when the text is no entry of the box or the answer is no number, or no size or count the tool
// can make.
PieceMeasure ResolveSplitSize(const QString& choiceText, Dialogs& dialogs);
PieceMeasure ResolveSplitParts(const QString& choiceText, Dialogs& dialogs);

// How the row gives a size: in kilobytes, megabytes or gigabytes of 1024, whichever is the largest below it,
// with one decimal ("24.6 MB").
QString sizeInWords(qint64 bytes);

} // namespace quorvane
