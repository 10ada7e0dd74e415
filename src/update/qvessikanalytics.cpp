// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/qvessikanalytics.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {

// How often the running request looks whether it has been asked to stop.
// This bounds how long closing the window can wait for the worker.
constexpr int InterruptionPollMs = 10;

constexpr qint64 ReadChunkBytes = 16 * 1024;

} // namespace

QVessikAnalytics::QVessikAnalytics(QObject *parent)
    : QThread(parent)
{
}

// Never destroy a running thread: stop the request and wait for the end of
// run(), which is prompt because run() watches for the interruption request.
QVessikAnalytics::~QVessikAnalytics()
{
    requestInterruption();
    wait();
}

void QVessikAnalytics::setUrl(const QString &address)
{
    url = address;
}

void QVessikAnalytics::run()
{
    // Both live in this thread, like everything else created here.
    QNetworkAccessManager manager;
    QEventLoop loop;

    QNetworkRequest request(QUrl::fromUserInput(url));
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Dovrin"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    // Without this the toolkit asks for a compressed body and inflates it
    // behind our back, so a few kilobytes on the wire could still become
    // megabytes in memory before the size checks below could see them.
    request.setRawHeader("Accept-Encoding", "identity");

    QNetworkReply *reply = manager.get(request);
    // Small reads keep what the toolkit buffers for us bounded as well.
    reply->setReadBufferSize(ReadChunkBytes);

    // The body is collected here as it arrives, so that it never sits in the
    // reply unread (a full read buffer would stall the transfer) and so that
    // an oversized one is dropped as soon as it passes the limit.
    QByteArray body;
    bool oversized = false;
    const auto collect = [reply, &body, &oversized]() {
        if (oversized)
            return;
        const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
        if (declared.isValid() && declared.toLongLong() > MaxReplyBytes) {
            oversized = true;
        } else {
            body += reply->read(MaxReplyBytes + 1 - body.size());
            oversized = body.size() > MaxReplyBytes;
        }
        if (oversized) {
            body.clear();
            reply->abort(); // finishes the reply, which ends the loop
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, &loop, collect);
    connect(reply, &QNetworkReply::readyRead, &loop, collect);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    QTimer interruptionPoll;
    connect(&interruptionPoll, &QTimer::timeout, &loop, [this, &loop]() {
        if (isInterruptionRequested())
            loop.quit();
    });
    interruptionPoll.start(InterruptionPollMs);

    if (!isInterruptionRequested() && !reply->isFinished())
        loop.exec();
    interruptionPoll.stop();

    if (isInterruptionRequested()) {
        // The window is going away: nobody is waiting for an answer.
        reply->abort();
        reply->deleteLater();
        return;
    }

    QString message;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A redirect is not followed and is not an answer either.
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        collect(); // whatever arrived with the end of the reply
        if (!oversized) {
            const int zero = body.indexOf('\0');
            if (zero >= 0)
                body.truncate(zero);
            message = QString::fromUtf8(body);
        }
    }
    emit updateMessage(message);

    reply->deleteLater();
}
