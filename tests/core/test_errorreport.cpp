// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/errorreport.h"
#include "platform/failure.h"
#include "scripteddialogs.h"

#include <QTest>

using namespace quorvane;
using quorvane::test::ScriptedDialogs;

namespace {

const QString source = QStringLiteral("in Tavishend2/19/2015.Form1.PushButton2_Click ");

void copyInto(const QString& /*to*/) { throw Failure::pathNotFound(); }

} // namespace

class TestErrorReport : public QObject {
    Q_OBJECT

private slots:
    void theBoxReadsExactly()
    {
        ScriptedDialogs dialogs;
        dialogs.expectMessage();
        ErrorReport report(dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.Form_Load "));
        report.step(162, [] { throw Failure::typeMismatch(); });

        QCOMPARE(dialogs.shown().size(), 1);
        const auto& box = dialogs.shown().first();
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QCOMPARE(box.icon, MessageIcon::Exclamation);
        QCOMPARE(box.buttons, MessageButtons::Ok);
        QCOMPARE(box.text,
            QStringLiteral("Type mismatch\r\nin Tavishend2/19/2015.Form1.Form_Load at line 162\r\r"
                           "Please email screenshot of this message to ")
                + ErrorReport::supportAddress);
    }

    void eachFailureHasItsBoxAndTheHandlerGoesOn()
    {
        ScriptedDialogs dialogs;
        dialogs.expectMessage();
        dialogs.expectMessage();
        ErrorReport report(dialogs, source);
        QStringList ran;
        report.step(100, [&] { ran << "100"; });
        report.step(102, [&] {
            ran << "102 begun";
            throw Failure::fileNotFound();
            ran << "102 ended"; // never reached: the statement stops where it failed
        });
        report.step(104, [&] { ran << "104"; });
        report.step(106, [] { throw std::runtime_error("Disk full"); });
        report.step(108, [&] { ran << "108"; });

        QCOMPARE(ran, QStringList({ "100", "102 begun", "104", "108" }));
        QCOMPARE(report.failures(), 2);
        QCOMPARE(dialogs.shown().size(), 2);
        QVERIFY(dialogs.shown()[0].text.startsWith("File not found\r\n" + source + "at line 102\r\r"));
        QVERIFY(dialogs.shown()[1].text.startsWith("Disk full\r\n" + source + "at line 106\r\r"));
    }

    void aFailingTestEntersItsBlock()
    {
        ScriptedDialogs dialogs;
        dialogs.expectMessage();
        ErrorReport report(dialogs, source);
        bool entered = false;
        if (report.test(104, []() -> bool { throw Failure::invalidCall(); }))
            report.step(106, [&] { entered = true; });
        QVERIFY(entered);
        QVERIFY(dialogs.shown().first().text.contains("at line 104"));

        // A test that is simply false skips its block without a box.
        bool skipped = true;
        if (report.test(108, [] { return false; }))
            skipped = false;
        QVERIFY(skipped);
        QCOMPARE(dialogs.shown().size(), 1);
    }

    void aFailureInACalledRoutineNamesTheCallingLine()
    {
        ScriptedDialogs dialogs;
        dialogs.expectMessage();
        ErrorReport report(dialogs, source);
        report.step(120, [] { copyInto(QStringLiteral("/out/clip.mp4")); });
        QCOMPARE(dialogs.shown().first().text.section("\r", 0, 1),
            QStringLiteral("Path not found\r\n") + source + QStringLiteral("at line 120"));
    }

    void aChosenCodeEndsTheHandlerWithItsOwnAnswer()
    {
        ScriptedDialogs dialogs;
        ErrorReport report(dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.PushButton1_Click "));
        int answered = 0;
        report.endOnCode(20476, [&] { ++answered; });
        bool later = false;
        report.step(108, [] { throw Failure(20476, QStringLiteral("The buffer is too small")); });
        report.step(110, [&] { later = true; });
        QVERIFY(!report.test(112, [] { return true; }));
        QCOMPARE(answered, 1);
        QVERIFY(report.ended());
        QVERIFY(!later);
        QVERIFY(dialogs.shown().isEmpty());

        // Other codes still get the box.
        dialogs.expectMessage();
        ErrorReport other(dialogs, source);
        other.endOnCode(20476, [&] { ++answered; });
        other.step(100, [] { throw Failure::fileNotFound(); });
        QVERIFY(!other.ended());
        QCOMPARE(answered, 1);
        QCOMPARE(dialogs.shown().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestErrorReport)
#include "test_errorreport.moc"
