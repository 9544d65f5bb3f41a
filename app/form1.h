// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "app/services.h"
#include "app/skinframework.h"
#include "core/appsettings.h"
#include "core/mousepointer.h"
#include "filelist/listcontext.h"
#include "platform/commondialog.h"

#include <QCursor>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace quorvane {

class Failure;
class FileListView;
class ProgressBar;
class SplitRun;

// The main window: every control of the program, the start-up sequence and the pointer feedback, one file
// each (form1design.cpp, form1handlers.cpp, form1pointer.cpp).
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(const Services& services, std::unique_ptr<SkinFramework> skin = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // Prepares the window before it is first shown.
    void Form_Load();
    // Files and folders handed to the program when it starts, added exactly as if dropped on the list.
    void openPaths(const QStringList& paths) { ListView1_OLEDragDrop(paths); }
    // Ends the program at once; the window's close box leads here.
    void Form_Unload();
    // Ends a run in progress as closing does (the tool, its working copy, its folder), leaving the window
    // alone: for a program that must end without it.
    void abandonRun();
    // What ending the program means: main() ends the process, tests record the call.
    void setEndProgram(std::function<void()> endProgram) { m_endProgram = std::move(endProgram); }

    // One pointer for the whole window: 0 the arrow, 11 the hourglass, 99 the hand image.
    int mousePointer() const { return static_cast<int>(m_mousePointer); }
    void setMousePointer(MousePointer shape);
    bool hasCustomPointerImage() const { return m_hasCustomPointer; }

    static QIcon applicationIcon();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildDesign();
    ListContext listContext();
    void Combo1_Click();
    void Combo2_Click();
    void Combo3_Click();
    void Combo4_Click();
    void Check1_Click();
    void Text2_Change();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton6_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void ListView1_DblClick();
    void ListView1_KeyDown(int key, Qt::KeyboardModifiers shift);
    void ListView1_OLEDragDrop(const QStringList& paths);
    void selectInterval(int index);
    // Shows the list of the way chosen in Combo2: the intervals, the sizes or the counts.
    void showWayList();
    // Stores a choice the moment it changes; a failure is said as the handler `handler` failing.
    void storeSetting(const char* handler, const std::function<void()>& store);
    void reportSettingsFailure(const Failure& failure, const QString& sourceText);
    void applyPointer();

    Services m_services;
    AppSettings m_settings;
    std::unique_ptr<SkinFramework> SkinFramework1;
    std::function<void()> m_endProgram;
    MousePointer m_mousePointer = MousePointer::Default;
    bool m_hasCustomPointer = false;
    bool m_centreWhenShown = false;
    bool m_settingsFailureReported = false;
    QCursor m_customPointer;
    QList<QPair<QWidget*, QCursor>> m_designedCursors;
    std::unique_ptr<SplitRun> m_run; // while "Start Splitting" is at work

    CommonDialog CommonDialog1;
    FileListView* ListView1 = nullptr;
    ProgressBar* ProgressBar1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QComboBox* Combo2 = nullptr; // the way: by length (Combo1), by size (Combo3), equal parts (Combo4)
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo4 = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* PushButton6 = nullptr;
};

} // namespace quorvane
