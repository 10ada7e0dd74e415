#pragma once

#include <QString>
#include <QThread>

// Asks the maker's web site once, in its own thread, which version is
// current. The one result leaves the thread through updateMessage(), which
// the window receives queued on its own thread.
class QVessikAnalytics : public QThread
{
    Q_OBJECT

public:
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
