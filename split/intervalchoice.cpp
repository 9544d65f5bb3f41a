// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "split/intervalchoice.h"

#include "core/errorreport.h"
#include "platform/conversions.h"
#include "platform/dialogs.h"

namespace quorvane {

const std::array<IntervalChoice, 15>& intervalChoices()
{
    static const std::array<IntervalChoice, 15> choices { {
        { "Split every 1 second", "every 1 second", 1, nullptr, 124, 126, 0 },
        { "Split every 5 seconds", "every 5 seconds", 5, nullptr, 128, 130, 0 },
        { "Split every 10 seconds", "every 10 seconds", 10, nullptr, 132, 134, 0 },
        { "Split every 30 seconds", "every 30 seconds", 30, nullptr, 136, 138, 0 },
        { "Split every x seconds", "every x seconds", 1, "Enter seconds: ", 140, 142, 0 },
        { "Split every 1 minute", "every 1 minute", 60, nullptr, 144, 146, 0 },
        { "Split every 5 minutes", "every 5 minutes", 300, nullptr, 148, 150, 0 },
        { "Split every 10 minutes", "every 10 minutes", 600, nullptr, 152, 154, 0 },
        { "Split every 15 minutes", "every 15 minutes", 900, nullptr, 156, 158, 0 },
        { "Split every 20 minutes", "every 20 minutes", 1200, nullptr, 160, 162, 0 },
        { "Split every 30 minutes", "every 30 minutes", 1800, nullptr, 164, 166, 0 },
        { "Split every x minutes", "every x minutes", 60, "Enter minutes: ", 168, 170, 172 },
        { "Split every 1 hour", "every 1 hour", 3600, nullptr, 174, 176, 0 },
        { "Split every 2 hours", "every 2 hours", 7200, nullptr, 178, 180, 0 },
        { "Split every x hours", "every x hours", 3600, "Enter hours: ", 182, 184, 0 },
    } };
    return choices;
}

qint32 ResolveSplitSeconds(const QString& choiceText, qint32 seconds, Dialogs& dialogs, ErrorReport& report)
{
    for (const IntervalChoice& choice : intervalChoices()) {
        if (!report.test(choice.testLine,
                [&] { return choiceText.contains(QLatin1String(choice.fragment), Qt::CaseSensitive); }))
            continue;
        if (!choice.prompt) {
            report.step(choice.setLine, [&] { seconds = choice.seconds; });
        } else if (choice.multiplyLine) {
            report.step(
                choice.setLine, [&] { seconds = toInt32(dialogs.inputBox(QString::fromLatin1(choice.prompt))); });
            report.step(choice.multiplyLine, [&] { seconds = multiplyInt32(seconds, choice.seconds); });
        } else {
            // Answer and multiplication share one line: a bad answer keeps the old value, an overflowing
            // product keeps the answer.
            report.step(choice.setLine, [&] {
                seconds = toInt32(dialogs.inputBox(QString::fromLatin1(choice.prompt)));
                seconds = multiplyInt32(seconds, choice.seconds);
            });
        }
        break;
    }
    return seconds;
}

} // namespace quorvane
