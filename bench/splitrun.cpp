// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// One "Start Splitting" through the real window, offscreen, with the embedded tool: bench_splitrun FILE
// OUTPUT-FOLDER. Splits every minute and prints the seconds from the click until "Done." was shown.
#include "filelist/filelistview.h"
#include "formfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: bench_splitrun FILE OUTPUT-FOLDER\n", stderr);
        return 64;
    }
    quorvane::test::FormFixture fixture;
    fixture.reset();
    fixture.load();
    fixture.control<quorvane::FileListView>("ListView1")->AppendRow(QString::fromLocal8Bit(argv[1]));
    fixture.control<QLineEdit>("Text2")->setText(QString::fromLocal8Bit(argv[2]) + "/");
    fixture.control<QComboBox>("Combo1")->setCurrentIndex(5); // every minute
    fixture.dialogs.expectMessage(); // "Done."

    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(fixture.control<QPushButton>("PushButton2"), Qt::LeftButton);
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    const bool done = fixture.dialogs.shown().size() == 1 && fixture.dialogs.shown()[0].text == "Done.";
    std::printf("%.3f\n", seconds);
    fixture.finish();
    return done ? 0 : 1;
}
