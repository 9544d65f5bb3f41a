// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// What the window does: start-up, the handlers of its controls, and the end.
#include "app/form1.h"

#include "app/cursorfile.h"
#include "app/progressbar.h"
#include "app/startup.h"
#include "app/twips.h"
#include "core/errorreport.h"
#include "filelist/filelistview.h"
#include "platform/conversions.h"
#include "platform/failure.h"
#include "platform/systemfolders.h"
#include "resources/toolimage.h"
#include "split/intervalchoice.h"
#include "split/outputfolder.h"
#include "split/splitrun.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace quorvane {

Form1::Form1(const Services& services, std::unique_ptr<SkinFramework> skin, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
    , m_settings(services.settings)
    , SkinFramework1(skin ? std::move(skin) : std::make_unique<SkinFramework>())
    , m_endProgram([] { QCoreApplication::quit(); })
    , CommonDialog1(services.dialogs)
{
    buildDesign();
}

Form1::~Form1() = default;

ListContext Form1::listContext()
{
    return { m_services.dialogs, CommonDialog1, *ListView1, m_settings, m_services.listing, m_services.attributes,
        m_services.shell, m_services.folders, [this](MousePointer shape) { setMousePointer(shape); },
        [this](int index) {
            selectInterval(index);
            // The samples show splitting by length, whatever way was chosen before.
            Combo2->setCurrentIndex(static_cast<int>(SplitWay::Length));
        } };
}

void Form1::PushButton1_Click()
{
    ListContext context = listContext();
    addFilesByDialog(context);
}

void Form1::PushButton4_Click()
{
    ListContext context = listContext();
    addAllFilesInFolder(context);
}

void Form1::PushButton5_Click()
{
    ListContext context = listContext();
    addSampleFiles(context);
}

void Form1::ListView1_OLEDragDrop(const QStringList& paths)
{
    ListContext context = listContext();
    addDroppedPaths(context, paths);
}

void Form1::PushButton2_Click()
{
    // One run at a time; while it works the button stops it, and clearing the list is switched off.
    if (m_run) {
        m_run->stop();
        return;
    }
    m_run = std::make_unique<SplitRun>(RunContext {
        m_services.dialogs,
        m_services.runner,
        [this] { return ListView1->rowCount(); },
        [this](int row) { return ListView1->rowText(row); },
        [this] { return Text2->text(); },
        [this] { return Combo1->currentText(); },
        [this](double value) { ProgressBar1->setPreciseValue(value); },
        [this](MousePointer shape) { setMousePointer(shape); },
        [] { return toolImage(); },
        [this](const QString& text) { ProgressBar1->setCaption(text); },
        [this](int row, const RowOutcome& outcome) { ListView1->setRowOutcome(row, outcome); },
        [this] { ListView1->clearRowOutcomes(); },
        [this] { return Check1->isChecked(); },
        [this] { return static_cast<SplitWay>(Combo2->currentIndex()); },
        [this] { return Combo3->currentText(); },
        [this] { return Combo4->currentText(); },
    });
    PushButton2->setText(QStringLiteral("Stop Splitting"));
    PushButton3->setEnabled(false);
    m_run->PushButton2_Click();
    PushButton2->setText(QStringLiteral("Start Splitting"));
    PushButton3->setEnabled(true);
    m_run.reset();
}

void Form1::PushButton6_Click()
{
    chooseOutputFolder(m_services.dialogs, [this](const QString& folder) { Text2->setText(folder); });
}

void Form1::PushButton3_Click()
{
    if (m_run)
        return;
    ErrorReport report(m_services.dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.PushButton3_Click "));
    report.step(100, [&] { ListView1->removeAllRows(); });
}

void Form1::ListView1_DblClick()
{
    // Removing a row never reports anything: with no row selected nothing happens.
    if (m_run)
        return; // the run reads the rows as it goes
    try {
        ListView1->removeSelectedRow();
    } catch (...) {
    }
}

void Form1::ListView1_KeyDown(int key, Qt::KeyboardModifiers shift)
{
    Q_UNUSED(shift); // Shift+Delete and Ctrl+Delete remove the row too
    if (key != Qt::Key_Delete || m_run)
        return;
    try {
        ListView1->removeSelectedRow();
    } catch (...) {
    }
}

void Form1::Form_Load()
{
    ErrorReport report(m_services.dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.Form_Load "));
    const QString cursorPath = m_services.folders.programFolder() + pathSeparator() + QStringLiteral("HAND-M.CUR");

    report.step(100, [&] { ApplySkin(*this, *SkinFramework1, m_services.folders, m_services.attributes); });
    report.step(102, [&] {
        CenterFormOnScreen(*this);
        m_centreWhenShown = true;
    });
    if (report.test(104, [&] { return PathExists(cursorPath); })) {
        report.step(106, [&] {
            m_customPointer = loadCursorFile(cursorPath);
            m_hasCustomPointer = true;
        });
    }
    report.step(108, [&] { OpenHomePageSometimes(m_services.random, m_services.shell); });
    report.step(126, [&] {
        setWindowTitle(QStringLiteral("Quorvane"));
        setWindowIcon(applicationIcon());
    });
    report.step(128, [&] { ListView1->setHeaderLabels({ QStringLiteral("MP4 File(s)") }); });
    report.step(130, [&] { ListView1->setColumnWidth(0, px(7000)); });
    const auto& choices = intervalChoices();
    for (int i = 0; i < static_cast<int>(choices.size()); ++i) {
        report.step(intervalLoadLine(i), [&] {
            // Adding items must not select one: the stored choice is restored below.
            const QSignalBlocker quiet(Combo1);
            const int kept = Combo1->currentIndex();
            Combo1->addItem(QLatin1String(choices[static_cast<size_t>(i)].text));
            Combo1->setCurrentIndex(kept);
        });
    }
    report.step(162, [&] { selectInterval(toInt16(m_settings.combo1())); });
    Check1->setChecked(m_settings.exact());
    report.step(164, [&] {
        const QString desktop = GetDesktopPath(m_services.folders);
        Text2->setText(m_settings.text2(desktop));
    });
    // A stored way, size or count that is no entry of its box is reported, and the box shows its default.
    const auto restore = [&](int line, QComboBox* box, QString (AppSettings::*stored)(), const QString& fallback) {
        const int failuresBefore = report.failures();
        report.step(line, [&] {
            const int index = toInt16((m_settings.*stored)());
            if (index < 0 || index >= box->count())
                throw Failure::invalidPropertyValue();
            box->setCurrentIndex(index);
        });
        if (report.failures() != failuresBefore)
            box->setCurrentIndex(fallback.toInt());
    };
    restore(166, Combo2, &AppSettings::combo2, AppSettings::defaultCombo2);
    restore(168, Combo3, &AppSettings::combo3, AppSettings::defaultCombo3);
    restore(170, Combo4, &AppSettings::combo4, AppSettings::defaultCombo4);
}

void Form1::selectInterval(int index)
{
    if (index < -1 || index >= Combo1->count())
        throw Failure::invalidPropertyValue();
    Combo1->setCurrentIndex(index);
}

void Form1::Combo1_Click()
{
    storeSetting("Combo1_Click", [&] { m_settings.setCombo1(Combo1->currentIndex()); });
}

void Form1::Combo2_Click()
{
    showWayList();
    storeSetting("Combo2_Click", [&] { m_settings.setCombo2(Combo2->currentIndex()); });
}

void Form1::showWayList()
{
    const auto way = static_cast<SplitWay>(Combo2->currentIndex());
    Combo1->setVisible(way == SplitWay::Length);
    Combo3->setVisible(way == SplitWay::Size);
    Combo4->setVisible(way == SplitWay::Parts);
}

void Form1::Combo3_Click()
{
    storeSetting("Combo3_Click", [&] { m_settings.setCombo3(Combo3->currentIndex()); });
}

void Form1::Combo4_Click()
{
    storeSetting("Combo4_Click", [&] { m_settings.setCombo4(Combo4->currentIndex()); });
}

void Form1::Check1_Click()
{
    storeSetting("Check1_Click", [&] { m_settings.setExact(Check1->isChecked()); });
}

void Form1::Text2_Change()
{
    storeSetting("Text2_Change", [&] { m_settings.setText2(Text2->text()); });
}

void Form1::storeSetting(const char* handler, const std::function<void()>& store)
{
    try {
        store();
    } catch (const Failure& failure) {
        reportSettingsFailure(failure, QStringLiteral("in Tavishend2/19/2015.Form1.%1 ").arg(QLatin1String(handler)));
    }
}

void Form1::reportSettingsFailure(const Failure& failure, const QString& sourceText)
{
    // Said once in a run of the program, naming the settings file; a box on every key press would be worse
    // than a choice not remembered. The program goes on either way.
    if (m_settingsFailureReported)
        return;
    m_settingsFailureReported = true;
    ErrorReport report(m_services.dialogs, sourceText);
    report.step(100, [&] { throw failure; });
}

void Form1::abandonRun()
{
    if (m_run)
        m_run->abandon();
}

void Form1::Form_Unload()
{
    abandonRun();
    if (m_endProgram)
        m_endProgram();
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The window frame's size is only known once the window is on screen: centre the whole window again.
    if (m_centreWhenShown && !event->spontaneous()) {
        m_centreWhenShown = false;
        try {
            CenterFormOnScreen(*this);
        } catch (const Failure&) {
            // Already placed by Form_Load, which reported any failure.
        }
    }
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    Form_Unload();
}

} // namespace quorvane
