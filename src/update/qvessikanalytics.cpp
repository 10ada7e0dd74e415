#include "qvessikanalytics.h"

QVessikAnalytics::QVessikAnalytics(QObject *parent)
    : QThread(parent)
{
}

QVessikAnalytics::~QVessikAnalytics()
{
    wait();
}

void QVessikAnalytics::setUrl(const QString &address)
{
    url = address;
}

void QVessikAnalytics::run()
{
    emit updateMessage(QString());
}
