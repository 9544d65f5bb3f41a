// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/commondialog.h"

#include "platform/dialogs.h"

namespace quorvane {

void CommonDialog::showOpen()
{
    m_fileName = m_dialogs.openFiles(m_title, m_filter, (m_flags & AllowMultiSelect) != 0, m_maxFileSize);
}

} // namespace quorvane
