// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/errorreport.h"
#include "scripteddialogs.h"
#include "split/intervalchoice.h"

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
