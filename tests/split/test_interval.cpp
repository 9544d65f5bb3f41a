// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/errorreport.h"
#include "platform/failure.h"
#include "scripteddialogs.h"
#include "split/intervalchoice.h"
#include "split/splitway.h"

#include <QTest>

using namespace quorvane;
using quorvane::test::ScriptedDialogs;

namespace {
const QString runSource = QStringLiteral("in Tavishend2/19/2015.Form1.PushButton2_Click ");
}

class TestInterval : public QObject {
    Q_OBJECT

private slots:
    void fixedChoices_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<int>("seconds");
        const int expected[] = { 1, 5, 10, 30, -1, 60, 300, 600, 900, 1200, 1800, -1, 3600, 7200, -1 };
        for (size_t i = 0; i < intervalChoices().size(); ++i) {
            if (expected[i] > 0)
                QTest::newRow(intervalChoices()[i].text)
                    << QString::fromLatin1(intervalChoices()[i].text) << expected[i];
        }
    }
    void fixedChoices()
    {
        QFETCH(QString, choice);
        QFETCH(int, seconds);
        ScriptedDialogs dialogs;
        ErrorReport report(dialogs, runSource);
        QCOMPARE(ResolveSplitSeconds(choice, 42, dialogs, report), seconds);
        QVERIFY(dialogs.shown().isEmpty());
    }

    void noChoiceKeepsTheSeconds()
    {
        ScriptedDialogs dialogs;
        ErrorReport report(dialogs, runSource);
        QCOMPARE(ResolveSplitSeconds(QString(), 0, dialogs, report), 0);
        QCOMPARE(ResolveSplitSeconds(QStringLiteral("Split Every 10 Seconds"), 17, dialogs, report), 17);
    }

    void customChoicesAsk_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<int>("seconds");
        QTest::newRow("seconds") << "Split every x seconds"
                                 << "25"
                                 << "Enter seconds: " << 25;
        QTest::newRow("seconds, blanks and a half") << "Split every x seconds"
                                                    << " 7.5 "
                                                    << "Enter seconds: " << 8;
        QTest::newRow("zero is passed on") << "Split every x seconds"
                                           << "0"
                                           << "Enter seconds: " << 0;
        QTest::newRow("minutes") << "Split every x minutes"
                                 << "3"
                                 << "Enter minutes: " << 180;
        QTest::newRow("minutes, half to even") << "Split every x minutes"
                                               << "2.5"
                                               << "Enter minutes: " << 120;
        QTest::newRow("largest minutes") << "Split every x minutes"
                                         << "35791394"
                                         << "Enter minutes: " << 2147483640;
        QTest::newRow("hours") << "Split every x hours"
                               << "2"
                               << "Enter hours: " << 7200;
        QTest::newRow("negative hours") << "Split every x hours"
                                        << "-1"
                                        << "Enter hours: " << -3600;
    }
    void customChoicesAsk()
    {
        QFETCH(QString, choice);
        QFETCH(QString, answer);
        QFETCH(QString, prompt);
        QFETCH(int, seconds);
        ScriptedDialogs dialogs;
        dialogs.expectInput(answer);
        ErrorReport report(dialogs, runSource);
        QCOMPARE(ResolveSplitSeconds(choice, 99, dialogs, report), seconds);
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(dialogs.shown().first().text, prompt);
        QCOMPARE(dialogs.shown().first().title, QStringLiteral("Quorvane"));
        QCOMPARE(dialogs.shown().first().proposed, QString());
    }

    // Each failure is reported at its own line, and the seconds go on as the run would use them.
    void failuresAreReportedAtTheirLines_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("after");
        QTest::newRow("seconds cancelled, first file") << "Split every x seconds"
                                                       << "" << 0 << "Type mismatch" << 142 << 0;
        QTest::newRow("seconds not a number, later file") << "Split every x seconds"
                                                          << "ten" << 30 << "Type mismatch" << 142 << 30;
        QTest::newRow("seconds beyond 32 bits") << "Split every x seconds"
                                                << "2147483648" << 5 << "Overflow" << 142 << 5;
        // The kept value is still multiplied on the next line.
        QTest::newRow("minutes cancelled") << "Split every x minutes"
                                           << "" << 7 << "Type mismatch" << 170 << 420;
        QTest::newRow("minutes overflow the product") << "Split every x minutes"
                                                      << "35791395" << 7 << "Overflow" << 172 << 35791395;
        QTest::newRow("hours cancelled") << "Split every x hours"
                                         << "" << 9 << "Type mismatch" << 184 << 9;
        QTest::newRow("hours overflow the product") << "Split every x hours"
                                                    << "596524" << 9 << "Overflow" << 184 << 596524;
        QTest::newRow("negative hours overflow") << "Split every x hours"
                                                 << "-596524" << 9 << "Overflow" << 184 << -596524;
    }
    void failuresAreReportedAtTheirLines()
    {
        QFETCH(QString, choice);
        QFETCH(QString, answer);
        QFETCH(int, before);
        QFETCH(QString, description);
        QFETCH(int, line);
        QFETCH(int, after);
        ScriptedDialogs dialogs;
        dialogs.expectInput(answer);
        dialogs.expectMessage();
        ErrorReport report(dialogs, runSource);
        QCOMPARE(ResolveSplitSeconds(choice, before, dialogs, report), after);
        QCOMPARE(dialogs.shown().size(), 2);
        QCOMPARE(dialogs.shown()[1].text, ErrorReport::message(description, runSource, line));
    }

    // Sizes and counts, as the tool gets them. A custom entry asks; a bad answer fails with its words, and no
    // measure comes back.
    void sizesAndCounts_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("answer"); // none: nothing is asked
        QTest::addColumn<QStringList>("arguments"); // none: it fails
        QTest::addColumn<QString>("words"); // the limit in the row's words, or the failure's
        const auto row = [](const char* name, const char* choice, const char* answer, const QStringList& arguments,
                             const char* words) {
            QTest::newRow(name) << QString::fromLatin1(choice) << (answer ? QString::fromLatin1(answer) : QString())
                                << arguments << QString::fromLatin1(words);
        };
        row("8 MB", "Pieces of at most 8 MB", nullptr, { "-splits", "8M" }, "8 MB");
        row("25 MB", "Pieces of at most 25 MB", nullptr, { "-splits", "25M" }, "25 MB");
        row("100 MB", "Pieces of at most 100 MB", nullptr, { "-splits", "100M" }, "100 MB");
        row("2 GB", "Pieces of at most 2 GB", nullptr, { "-splits", "2G" }, "2 GB");
        row("4 GB fits FAT32", "Pieces of at most 4 GB, for FAT32 cards", nullptr, { "-splits", "4194303" }, "4 GB");
        row("x MB", "Pieces of at most x MB", "700", { "-splits", "700M" }, "700 MB");
        row("x MB, blanks and a fraction", "Pieces of at most x MB", " 1.5 ", { "-splits", "1536" }, "1.5 MB");
        row("x MB, the least", "Pieces of at most x MB", "0.0005", { "-splits", "1" }, "0.0005 MB");
        row("x MB cancelled", "Pieces of at most x MB", "", {}, "Type mismatch");
        row("x MB not a number", "Pieces of at most x MB", "lots", {}, "Type mismatch");
        row("x MB zero", "Pieces of at most x MB", "0", {}, "No piece can be made smaller than 1 KB");
        row("x MB negative", "Pieces of at most x MB", "-25", {}, "No piece can be made smaller than 1 KB");
        row("x MB beyond reason", "Pieces of at most x MB", "1e300", {}, "Overflow");
        row("no size chosen", "", nullptr, {}, "Invalid property value");
        row("2 parts", "Split into 2 parts", nullptr, { "-parts", "2" }, "");
        row("3 parts", "Split into 3 parts", nullptr, { "-parts", "3" }, "");
        row("4 parts", "Split into 4 parts", nullptr, { "-parts", "4" }, "");
        row("5 parts", "Split into 5 parts", nullptr, { "-parts", "5" }, "");
        row("10 parts", "Split into 10 parts", nullptr, { "-parts", "10" }, "");
        row("x parts", "Split into x parts", "7", { "-parts", "7" }, "");
        row("x parts, the most", "Split into x parts", "10000", { "-parts", "10000" }, "");
        row("x parts, too many", "Split into x parts", "10001", {}, "From 1 to 10000 parts can be made");
        row("x parts, none", "Split into x parts", "0", {}, "From 1 to 10000 parts can be made");
        row("x parts cancelled", "Split into x parts", "", {}, "Type mismatch");
        row("x parts beyond 32 bits", "Split into x parts", "2147483648", {}, "Overflow");
        row("an interval is no count", "Split every 10 seconds", nullptr, {}, "Invalid property value");
    }
    void sizesAndCounts()
    {
        QFETCH(QString, choice);
        QFETCH(QString, answer);
        QFETCH(QStringList, arguments);
        QFETCH(QString, words);
        const bool asks = choice.contains(QLatin1String(" x "));
        ScriptedDialogs dialogs;
        if (asks)
            dialogs.expectInput(answer);
        const bool parts = !choice.isEmpty() && !choice.startsWith(QLatin1String("Pieces"));
        try {
            const PieceMeasure measure = parts ? ResolveSplitParts(choice, dialogs) : ResolveSplitSize(choice, dialogs);
            QCOMPARE(measure.arguments, arguments);
            QCOMPARE(measure.limit, words);
        } catch (const Failure& failure) {
            QVERIFY2(arguments.isEmpty(), qPrintable(failure.description()));
            QCOMPARE(failure.description(), words);
        }
        QCOMPARE(dialogs.shown().size(), asks ? 1 : 0);
        if (asks) {
            QCOMPARE(dialogs.shown().first().text,
                parts ? QStringLiteral("Enter number of parts: ") : QStringLiteral("Enter megabytes: "));
            QCOMPARE(dialogs.shown().first().title, QStringLiteral("Quorvane"));
        }
    }

    void sizesInTheRowsWords_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("words");
        QTest::newRow("nothing") << qint64(0) << "0.0 KB";
        QTest::newRow("a kilobyte") << qint64(1024) << "1.0 KB";
        QTest::newRow("just under a megabyte") << qint64(1048575) << "1.0 MB";
        QTest::newRow("24.6 MB") << qint64(25795000) << "24.6 MB";
        QTest::newRow("25 MB") << qint64(25 << 20) << "25.0 MB";
        QTest::newRow("a FAT32 piece") << qint64(4294966272) << "4.0 GB";
        QTest::newRow("past gigabytes") << qint64(3) * 1024 * 1024 * 1024 * 1024 << "3072.0 GB";
    }
    void sizesInTheRowsWords()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, words);
        QCOMPARE(sizeInWords(bytes), words);
    }

    void aCustomChoiceAsksForEveryFile()
    {
        ScriptedDialogs dialogs;
        dialogs.expectInput(QStringLiteral("5"));
        dialogs.expectInput(QStringLiteral("10"));
        dialogs.expectInput(QStringLiteral("20"));
        ErrorReport report(dialogs, runSource);
        QList<int> lengths;
        qint32 seconds = 0;
        for (int file = 0; file < 3; ++file) {
            seconds = ResolveSplitSeconds(QStringLiteral("Split every x seconds"), seconds, dialogs, report);
            lengths << seconds;
        }
        QCOMPARE(lengths, QList<int>({ 5, 10, 20 }));
        QCOMPARE(dialogs.pending(), 0);
    }
};

QTEST_MAIN(TestInterval)
#include "test_interval.moc"
