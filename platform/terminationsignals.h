// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QObject>

namespace quorvane {

// The system's requests to end the program (SIGTERM at logout or shutdown, SIGHUP when its terminal goes,
// SIGINT for Ctrl-C), delivered as a Qt signal through the event loop, also a nested one, so the program
// can end as it does when its window is closed. One instance at a time.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signal);

private:
    struct Private;
    Private* d;
};

} // namespace quorvane
