// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "form1.h"

#include "conversions.h"
#include "cursorfile.h"
#include "errorreport.h"
#include "failure.h"
#include "filelistview.h"
#include "intervalchoice.h"
#include "outputfolder.h"
#include "progressbar.h"
#include "skinframework.h"
#include "splitrun.h"
#include "startup.h"
#include "systemfolders.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

namespace quorvane {

namespace {

// The window was designed in twips: 15 make a pixel at 96 dpi. Qt scales pixels on high-dpi screens.
constexpr int px(int twips) { return (twips * 2 + 15) / 30; }
QRect twipsRect(int left, int top, int width, int height) { return { px(left), px(top), px(width), px(height) }; }

QFont designFont(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

} // namespace

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

void Form1::buildDesign()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(px(8040), px(5865));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setFont(designFont(9));

    const auto button = [](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(QLatin1String(name));
        b->setFont(designFont(11.25));
        b->setGeometry(geometry);
        return b;
    };
    const auto frame = [this](const char* name, const QString& title, QRect geometry) {
        auto* f = new QGroupBox(title, this);
        f->setObjectName(QLatin1String(name));
        f->setGeometry(geometry);
        f->setAutoFillBackground(true);
        return f;
    };

    ListView1 = new FileListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(twipsRect(120, 120, 7800, 1815));
    ListView1->setToolTip(QStringLiteral("Drag and drop files here. Double-click item to remove it. Move bar to "
                                         "right and out of window to reveal full names."));
    ListView1->setHeaderLabels({ QString() });
    ListView1->header()->setStretchLastSection(false);

    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(twipsRect(120, 5340, 7800, 405));

    Frame1 = frame("Frame1", QStringLiteral("How often would you like to split?"), twipsRect(120, 3000, 7800, 800));
    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(twipsRect(240, 300, 7335, 345));
    Combo1->setMaxVisibleItems(15);

    PushButton1 = button(this, "PushButton1", QStringLiteral("Add MP4 File(s)"), twipsRect(120, 2040, 3840, 405));
    PushButton4 = button(
        this, "PushButton4", QStringLiteral("Add All MP4 File(s) In Folder"), twipsRect(4080, 2040, 3840, 405));
    PushButton2 = button(this, "PushButton2", QStringLiteral("Start Splitting"), twipsRect(120, 4800, 7800, 405));
    PushButton3 = button(this, "PushButton3", QStringLiteral("Clear List"), twipsRect(120, 2550, 3840, 405));
    PushButton5
        = button(this, "PushButton5", QStringLiteral("Load Sample/Example Files"), twipsRect(4080, 2550, 3840, 405));

    Frame2 = frame("Frame2", QStringLiteral("Save Results To This Folder"), twipsRect(120, 3870, 7800, 810));
    Text2 = new QLineEdit(Frame2);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(twipsRect(240, 300, 6630, 345));
    PushButton6 = button(Frame2, "PushButton6", QStringLiteral("..."), twipsRect(6960, 300, 600, 345));

    QWidget* const tabOrder[] = { ListView1, ProgressBar1, Frame1, Combo1, PushButton1, PushButton4, PushButton2,
        PushButton3, PushButton5, Frame2, Text2, PushButton6 };
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Pointer feedback: buttons show the hand; the background, the list and the frames the arrow.
    // Moves over the other controls must not reach the frame or window behind them.
    for (QWidget* w : std::initializer_list<QWidget*> { this, ListView1, ListView1->viewport(), Frame1, Frame2 }) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    for (QPushButton* b : { PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6 }) {
        b->setMouseTracking(true);
        b->setAttribute(Qt::WA_NoMousePropagation);
        b->installEventFilter(this);
    }
    for (QWidget* w : std::initializer_list<QWidget*> { Text2, Combo1, ProgressBar1 })
        w->setAttribute(Qt::WA_NoMousePropagation);
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w->testAttribute(Qt::WA_SetCursor))
            m_designedCursors.append({ w, w->cursor() });
    }

    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(ListView1, &FileListView::dblClick, this, &Form1::ListView1_DblClick);
    connect(ListView1, &FileListView::keyDown, this, &Form1::ListView1_KeyDown);
    connect(ListView1, &FileListView::filesDropped, this, &Form1::ListView1_OLEDragDrop);
}

ListContext Form1::listContext()
{
    return { m_services.dialogs, CommonDialog1, *ListView1, m_settings, m_services.listing, m_services.attributes,
        m_services.shell, m_services.folders, [this](int shape) { setMousePointer(shape); },
        [this](int index) { selectInterval(index); } };
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
    // One run at a time; while it works, starting again and clearing the list are switched off.
    if (m_run)
        return;
    m_run = std::make_unique<SplitRun>(RunContext {
        m_services.dialogs,
        m_services.runner,
        [this] { return ListView1->rowCount(); },
        [this](int row) { return ListView1->rowText(row); },
        [this] { return Text2->text(); },
        [this] { return Combo1->currentText(); },
        [this](double value) { ProgressBar1->setPreciseValue(value); },
        [this](int shape) { setMousePointer(shape); },
    });
    PushButton2->setEnabled(false);
    PushButton3->setEnabled(false);
    m_run->PushButton2_Click();
    PushButton2->setEnabled(true);
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
    report.step(164, [&] {
        const QString desktop = GetDesktopPath(m_services.folders);
        Text2->setText(m_settings.text2(desktop));
    });
}

void Form1::selectInterval(int index)
{
    if (index < -1 || index >= Combo1->count())
        throw Failure::invalidPropertyValue();
    Combo1->setCurrentIndex(index);
}

void Form1::Combo1_Click()
{
    try {
        m_settings.setCombo1(Combo1->currentIndex());
    } catch (const Failure& failure) {
        // No trap here: a box on every change would be worse than a choice not remembered.
        qWarning("The interval choice could not be stored: %s", qPrintable(failure.description()));
    }
}

void Form1::Text2_Change()
{
    try {
        m_settings.setText2(Text2->text());
    } catch (const Failure& failure) {
        qWarning("The output folder could not be stored: %s", qPrintable(failure.description()));
    }
}

void Form1::Form_Unload()
{
    if (m_run)
        m_run->abandon();
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

QIcon Form1::applicationIcon()
{
    QIcon icon;
    for (int size : { 32, 48, 128, 256 })
        icon.addFile(QStringLiteral(":/icons/quorvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

void Form1::setMousePointer(int shape)
{
    if (shape == m_mousePointer)
        return;
    m_mousePointer = shape;
    applyPointer();
}

void Form1::applyPointer()
{
    QList<QWidget*> widgets = findChildren<QWidget*>();
    widgets.prepend(this);
    if (m_mousePointer == DefaultPointer) {
        for (QWidget* w : widgets)
            w->unsetCursor();
        for (const auto& [widget, cursor] : m_designedCursors)
            widget->setCursor(cursor);
        return;
    }
    QCursor cursor(Qt::ArrowCursor);
    if (m_mousePointer == Hourglass)
        cursor = QCursor(Qt::WaitCursor);
    else if (m_mousePointer == CustomPointer && m_hasCustomPointer)
        cursor = m_customPointer;
    for (QWidget* w : widgets)
        w->setCursor(cursor);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && m_mousePointer != Hourglass) {
        if (qobject_cast<QPushButton*>(watched))
            setMousePointer(CustomPointer);
        else
            setMousePointer(DefaultPointer);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quorvane
