// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QThread>

// Asks the maker's web site once, in its own thread, which version is
// current. The one result leaves the thread through updateMessage(), which
// the window receives queued on its own thread.
//
// The answer travels over plain HTTP and is therefore untrusted: a body
// larger than MaxReplyBytes counts as a failed check and is never held in
// memory whole. A run can be cut short with requestInterruption() (the window
// does so when it closes while the request is still outstanding); an
// interrupted run emits nothing.
class QVessikAnalytics : public QThread
{
    Q_OBJECT

public:
    // A version string is a few bytes; anything near this size is not one.
    static constexpr qint64 MaxReplyBytes = 64 * 1024;

    explicit QVessikAnalytics(QObject *parent = nullptr);
    ~QVessikAnalytics() override;

    void setUrl(const QString &address);

signals:
    void updateMessage(QString message);

protected:
    void run() override;

private:
    QString url;
};
