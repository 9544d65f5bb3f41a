// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// Pointer feedback: one shape for the whole window, the hand over buttons, the hourglass while busy.
#include "app/form1.h"

#include <QEvent>
#include <QPushButton>

namespace quorvane {

void Form1::setMousePointer(MousePointer shape)
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
    if (m_mousePointer == MousePointer::Default) {
        for (QWidget* w : widgets)
            w->unsetCursor();
        for (const auto& [widget, cursor] : m_designedCursors)
            widget->setCursor(cursor);
        return;
    }
    QCursor cursor(Qt::ArrowCursor);
    if (m_mousePointer == MousePointer::Hourglass)
        cursor = QCursor(Qt::WaitCursor);
    else if (m_mousePointer == MousePointer::Custom && m_hasCustomPointer)
        cursor = m_customPointer;
    for (QWidget* w : widgets)
        w->setCursor(cursor);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && m_mousePointer != MousePointer::Hourglass) {
        if (qobject_cast<QPushButton*>(watched))
            setMousePointer(MousePointer::Custom);
        else
            setMousePointer(MousePointer::Default);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quorvane
