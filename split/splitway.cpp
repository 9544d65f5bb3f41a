// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "split/splitway.h"

#include "platform/conversions.h"
#include "platform/dialogs.h"
#include "platform/failure.h"

#include <cmath>

namespace quorvane {

const std::array<const char*, 3>& wayChoices()
{
    static const std::array<const char*, 3> choices { "By length", "By size", "Equal parts" };
    return choices;
}

const std::array<SizeChoice, 6>& sizeChoices()
{
    static const std::array<SizeChoice, 6> choices { {
        { "Pieces of at most 8 MB", "8M", "8 MB" },
        { "Pieces of at most 25 MB", "25M", "25 MB" },
        { "Pieces of at most 100 MB", "100M", "100 MB" },
        { "Pieces of at most 2 GB", "2G", "2 GB" },
        // FAT32 holds files of up to 4 GiB less one byte: 1 KiB less, so that every piece fits.
        { "Pieces of at most 4 GB, for FAT32 cards", "4194303", "4 GB" },
        { "Pieces of at most x MB", nullptr, nullptr },
    } };
    return choices;
}

const std::array<PartsChoice, 6>& partsChoices()
{
    static const std::array<PartsChoice, 6> choices { {
        { "Split into 2 parts", 2 },
        { "Split into 3 parts", 3 },
        { "Split into 4 parts", 4 },
        { "Split into 5 parts", 5 },
        { "Split into 10 parts", 10 },
        { "Split into x parts", 0 },
    } };
    return choices;
}

PieceMeasure ResolveSplitSize(const QString& choiceText, Dialogs& dialogs)
{
    for (const SizeChoice& choice : sizeChoices()) {
        if (choiceText != QLatin1String(choice.text))
            continue;
        if (choice.argument)
            return { { QStringLiteral("-splits"), QLatin1String(choice.argument) }, QLatin1String(choice.limit) };
        const double megabytes = toDouble(dialogs.inputBox(QStringLiteral("Enter megabytes: ")));
        // The tool counts whole kilobytes.
        const double kilobytes = std::nearbyint(megabytes * 1024);
        if (!(kilobytes >= 1))
            throw Failure(5, QStringLiteral("No piece can be made smaller than 1 KB"));
        if (kilobytes > 1e15)
            throw Failure::overflow();
        const QString size = megabytes == std::floor(megabytes) ? QString::number(megabytes, 'f', 0) + QLatin1Char('M')
                                                                : QString::number(kilobytes, 'f', 0);
        return { { QStringLiteral("-splits"), size }, QString::number(megabytes, 'g', 10) + QStringLiteral(" MB") };
    }
    throw Failure::invalidPropertyValue();
}

PieceMeasure ResolveSplitParts(const QString& choiceText, Dialogs& dialogs)
{
    for (const PartsChoice& choice : partsChoices()) {
        if (choiceText != QLatin1String(choice.text))
            continue;
        const qint32 parts
            = choice.parts ? choice.parts : toInt32(dialogs.inputBox(QStringLiteral("Enter number of parts: ")));
        if (parts < 1 || parts > mostParts)
            throw Failure(5, QStringLiteral("From 1 to %1 parts can be made").arg(mostParts));
        return { { QStringLiteral("-parts"), QString::number(parts) }, {} };
    }
    throw Failure::invalidPropertyValue();
}

QString sizeInWords(qint64 bytes)
{
    static const char* const units[] = { "KB", "MB", "GB" };
    double size = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (unit < 2 && std::round(size * 10) >= 1024 * 10) {
        size /= 1024;
        ++unit;
    }
    return QString::number(size, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

} // namespace quorvane
