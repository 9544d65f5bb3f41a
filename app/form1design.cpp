// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// The window's design: every control with its caption, place and size, the tab order and the wiring.
#include "app/form1.h"

#include "app/progressbar.h"
#include "app/twips.h"
#include "filelist/filelistview.h"
#include "split/splitway.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>

namespace quorvane {

namespace {

QRect twipsRect(int left, int top, int width, int height) { return { px(left), px(top), px(width), px(height) }; }

QFont designFont(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

} // namespace

void Form1::buildDesign()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    // The exact-lengths box made the interval frame taller by its height; everything below it moved down so.
    constexpr int box = 285;
    setFixedSize(px(8040), px(5865 + box));
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
    ProgressBar1->setGeometry(twipsRect(120, 5340 + box, 7800, 405));

    Frame1
        = frame("Frame1", QStringLiteral("How often would you like to split?"), twipsRect(120, 3000, 7800, 800 + box));
    const auto list = [this](const char* name, QRect geometry) {
        auto* c = new QComboBox(Frame1);
        c->setObjectName(QLatin1String(name));
        c->setGeometry(geometry);
        return c;
    };
    Combo2 = list("Combo2", twipsRect(240, 300, 1800, 345));
    for (const char* way : wayChoices())
        Combo2->addItem(QLatin1String(way));
    // Beside the way, the list of that way: the three lists share one place, one shown at a time.
    const QRect beside = twipsRect(2160, 300, 5415, 345);
    Combo1 = list("Combo1", beside); // filled at start-up
    Combo1->setMaxVisibleItems(15);
    Combo3 = list("Combo3", beside);
    for (const SizeChoice& choice : sizeChoices())
        Combo3->addItem(QLatin1String(choice.text));
    Combo4 = list("Combo4", beside);
    for (const PartsChoice& choice : partsChoices())
        Combo4->addItem(QLatin1String(choice.text));
    showWayList();
    Check1 = new QCheckBox(QStringLiteral("Exact lengths (re-encodes a few frames at each cut)"), Frame1);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(twipsRect(240, 720, 7335, box));

    PushButton1 = button(this, "PushButton1", QStringLiteral("Add MP4 File(s)"), twipsRect(120, 2040, 3840, 405));
    PushButton4 = button(
        this, "PushButton4", QStringLiteral("Add All MP4 File(s) In Folder"), twipsRect(4080, 2040, 3840, 405));
    PushButton2 = button(this, "PushButton2", QStringLiteral("Start Splitting"), twipsRect(120, 4800 + box, 7800, 405));
    PushButton3 = button(this, "PushButton3", QStringLiteral("Clear List"), twipsRect(120, 2550, 3840, 405));
    PushButton5
        = button(this, "PushButton5", QStringLiteral("Load Sample/Example Files"), twipsRect(4080, 2550, 3840, 405));

    Frame2 = frame("Frame2", QStringLiteral("Save Results To This Folder"), twipsRect(120, 3870 + box, 7800, 810));
    Text2 = new QLineEdit(Frame2);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(twipsRect(240, 300, 6630, 345));
    PushButton6 = button(Frame2, "PushButton6", QStringLiteral("..."), twipsRect(6960, 300, 600, 345));

    QWidget* const tabOrder[] = { ListView1, ProgressBar1, Frame1, Combo2, Combo1, Combo3, Combo4, Check1, PushButton1,
        PushButton4, PushButton2, PushButton3, PushButton5, Frame2, Text2, PushButton6 };
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
    for (QWidget* w : std::initializer_list<QWidget*> { Text2, Combo1, Combo2, Combo3, Combo4, Check1, ProgressBar1 })
        w->setAttribute(Qt::WA_NoMousePropagation);
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w->testAttribute(Qt::WA_SetCursor))
            m_designedCursors.append({ w, w->cursor() });
    }

    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(Combo2, &QComboBox::currentIndexChanged, this, &Form1::Combo2_Click);
    connect(Combo3, &QComboBox::currentIndexChanged, this, &Form1::Combo3_Click);
    connect(Combo4, &QComboBox::currentIndexChanged, this, &Form1::Combo4_Click);
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
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

QIcon Form1::applicationIcon()
{
    QIcon icon;
    for (int size : { 32, 48, 128, 256 })
        icon.addFile(QStringLiteral(":/icons/quorvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace quorvane
