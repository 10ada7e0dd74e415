// The update check against a real HTTP server on 127.0.0.1 run by this test
// in its main thread: the request the worker sends, what it makes of each
// answer (and of oversized or endless ones), the window's "Update" box, and
// closing the window while the request is still outstanding.

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include "config.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

const QString updatePath = QStringLiteral("/webapps/tarvelo.php?version=2.8.0");

// Closing while the server never answers must not wait for the reply. The
// bound only tells "ended on its own" from "waited for the network" (which
// would never end).
constexpr qint64 PromptExitMs = 3000;

QByteArray response(
    const QByteArray &status, const QByteArray &body, const QByteArray &headers = "")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

QByteArray ok(const QByteArray &body)
{
    return response("200 OK", body);
}

// A body that ends when the server closes: its size is not known before.
QByteArray okUntilClose(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + body;
}

QByteArray okChunked(const QByteArray &body, int chunkSize)
{
    QByteArray out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (int at = 0; at < body.size(); at += chunkSize)
        out += QByteArray::number(body.mid(at, chunkSize).size(), 16) + "\r\n"
            + body.mid(at, chunkSize) + "\r\n";
    return out + "0\r\n\r\n";
}

// A small HTTP server with one scripted answer for every connection.
class HttpStub : public QObject
{
public:
    enum Mode {
        Answer, // send `answer`, then close
        Silent, // read the request and never answer
        Drop, // close the connection without answering
        Endless, // a 200 answer whose body never ends (up to EndlessCap)
    };
    static constexpr qint64 EndlessCap = 64LL * 1024 * 1024;

    explicit HttpStub(Mode mode = Answer, const QByteArray &answer = QByteArray())
        : mode(mode)
        , answer(answer)
    {
        connect(&server, &QTcpServer::newConnection, this, &HttpStub::accept);
        server.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return server.serverPort(); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()) + updatePath; }

    // Answers the last request at once, without running the event loop.
    bool answerBlocking(const QByteArray &bytes)
    {
        if (!lastSocket)
            return false;
        lastSocket->write(bytes);
        while (lastSocket->bytesToWrite() > 0)
            if (!lastSocket->waitForBytesWritten(5000))
                return false;
        lastSocket->disconnectFromHost();
        return lastSocket->state() == QAbstractSocket::UnconnectedState
            || lastSocket->waitForDisconnected(5000);
    }

    Mode mode;
    QByteArray answer;
    QList<QByteArray> requests; // each up to the blank line
    qint64 endlessBytesSent = 0;
    bool peerClosed = false; // the client hung up before we did

private:
    void accept()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            auto closing = std::make_shared<bool>(false); // we hang up ourselves
            connect(socket, &QTcpSocket::readyRead, this, [=]() {
                if (buffer->contains("\r\n\r\n"))
                    return; // anything after the request is ignored
                *buffer += socket->readAll();
                const int end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                requests << buffer->left(end + 2);
                lastSocket = socket;
                respond(socket, closing);
            });
            connect(socket, &QTcpSocket::disconnected, this, [=]() {
                peerClosed = peerClosed || !*closing;
                socket->deleteLater();
            });
        }
    }

    void respond(QTcpSocket *socket, const std::shared_ptr<bool> &closing)
    {
        if (mode == Silent)
            return;
        if (mode != Endless) {
            socket->write(mode == Answer ? answer : QByteArray());
            *closing = true;
            socket->disconnectFromHost(); // after what was written
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n");
        const auto pump = [this, socket, closing]() {
            const QByteArray chunk(64 * 1024, '9');
            while (socket->state() == QAbstractSocket::ConnectedState
                && socket->bytesToWrite() < 4 * chunk.size() && endlessBytesSent < EndlessCap) {
                socket->write(chunk);
                endlessBytesSent += chunk.size();
            }
            if (endlessBytesSent >= EndlessCap && !*closing) {
                *closing = true;
                socket->disconnectFromHost();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, this, pump);
        pump();
    }

    QTcpServer server;
    QPointer<QTcpSocket> lastSocket;
};

QByteArray headerValue(const QByteArray &request, const QByteArray &name)
{
    for (const QByteArray &line : request.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

QByteArray requestLine(const QByteArray &request)
{
    return request.left(request.indexOf("\r\n"));
}

// Runs one check to its end and returns every message it emitted, received
// the way the window receives them: queued, on this thread.
QStringList runWorker(const QString &url)
{
    QStringList messages;
    QObject receiver;
    QVessikAnalytics worker;
    QObject::connect(&worker, &QVessikAnalytics::updateMessage, &receiver,
        [&messages](const QString &message) { messages << message; });
    worker.setUrl(url);
    worker.start();
    if (!QTest::qWaitFor([&worker]() { return worker.isFinished(); }, 15000))
        messages << QStringLiteral("(still running)");
    QCoreApplication::processEvents(); // deliver what was queued last
    return messages;
}

QString expectedUpdateText(const QString &shownVersion)
{
    const QString page = QStringLiteral("http://" TARVELO_WEBSITE "/tarvelo/");
    return "There is an update available for Tarvelo.<br><br>Go to <a href=\"" + page + "\">" + page
        + "</a> to download the latest version!<br><br>Remember, you have to first uninstall "
          "currently installed Tarvelo!<br><br>Your settings <b>will be preserved</b> so you "
          "won't have to configure Tarvelo again.<br><br>Current version: 2.8.0, New version: "
        + shownVersion;
}

} // namespace

class UpdateTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { offlinePort = outsidePort().loadAcquire(); }
    void cleanup() { outsidePort().storeRelease(offlinePort); }
    void requestLineAndHeaders_data();
    void requestLineAndHeaders();
    void workerAnswers_data();
    void workerAnswers();
    void endlessBodyIsNotReadWhole();
    void interruptionEndsAHangingRequest_data();
    void interruptionEndsAHangingRequest();
    void updateBox_data();
    void updateBox();
    void windowAsksTheMakersSite_data();
    void windowAsksTheMakersSite();
    void closingWithRequestOutstanding_data();
    void closingWithRequestOutstanding();

private:
    int offlinePort = 0;
};

void UpdateTest::requestLineAndHeaders_data()
{
    QTest::addColumn<bool>("withScheme");
    QTest::newRow("full address") << true;
    // The address goes through QUrl::fromUserInput, which supplies http.
    QTest::newRow("address without scheme") << false;
}

void UpdateTest::requestLineAndHeaders()
{
    QFETCH(bool, withScheme);
    HttpStub stub(HttpStub::Answer, ok("2.8.0"));
    QCOMPARE(
        runWorker(withScheme ? stub.url() : stub.url().remove("http://")), QStringList { "2.8.0" });
    QCOMPARE(stub.requests.size(), 1);
    const QByteArray request = stub.requests.first();
    QCOMPARE(requestLine(request), "GET " + updatePath.toLatin1() + " HTTP/1.1");
    QCOMPARE(headerValue(request, "User-Agent"), QByteArray("Dovrin"));
    QCOMPARE(headerValue(request, "Content-Type"), QByteArray("text/plain"));
    QCOMPARE(headerValue(request, "Host"), "127.0.0.1:" + QByteArray::number(stub.port()));
    QCOMPARE(headerValue(request, "Content-Length"), QByteArray()); // no body
}

void UpdateTest::workerAnswers_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("message");
    const QByteArray fits(64 * 1024, 'v'), tooLarge(64 * 1024 + 1, 'v');
    // clang-format off
    // The body comes untrimmed; the window trims it.
    QTest::newRow("spaces and line break kept") << 0 << ok(" 2.9.1\n") << " 2.9.1\n";
    QTest::newRow("utf-8") << 0 << ok("2.9.1 \xe2\x80\x94 gr\xc3\xbcn") << QString::fromUtf8("2.9.1 \xe2\x80\x94 gr\xc3\xbcn");
    QTest::newRow("up to the first zero byte") << 0 << ok(QByteArray("2.9.1\0<b>hidden</b>", 19)) << "2.9.1";
    QTest::newRow("body without length") << 0 << okUntilClose("2.9.2") << "2.9.2";
    QTest::newRow("chunked") << 0 << okChunked("2.9.3", 2) << "2.9.3";
    QTest::newRow("exactly 64 KiB") << 0 << ok(fits) << QString::fromLatin1(fits);
    // Failures all give an empty message.
    QTest::newRow("404") << 0 << response("404 Not Found", "2.9.1") << "";
    QTest::newRow("redirect") << 0 << response("301 Moved Permanently", "2.9.1", "Location: /elsewhere\r\n") << "";
    QTest::newRow("one byte over 64 KiB, declared") << 0 << ok(tooLarge) << "";
    QTest::newRow("one byte over 64 KiB, undeclared") << 0 << okUntilClose(tooLarge) << "";
    QTest::newRow("over 64 KiB, chunked") << 0 << okChunked(tooLarge, 5000) << "";
    QTest::newRow("declared huge, sent small") << 0 << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n2.9.1") << "";
    QTest::newRow("not HTTP at all") << 0 << QByteArray("2.9.1\r\n\r\n") << "";
    QTest::newRow("hung up without answer") << int(HttpStub::Drop) << QByteArray() << "";
    // clang-format on
}

void UpdateTest::workerAnswers()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, answer);
    QFETCH(QString, message);
    HttpStub stub(HttpStub::Mode(mode), answer);
    // One message per run, success or not. (The toolkit itself may send the
    // request again after a broken answer.)
    QCOMPARE(runWorker(stub.url()), QStringList { message });
    QVERIFY(!stub.requests.isEmpty());
}

// A server that sends without end must not make the worker hold the body:
// it gives up soon after the limit, long before the server is done.
void UpdateTest::endlessBodyIsNotReadWhole()
{
    HttpStub stub(HttpStub::Endless);
    QCOMPARE(runWorker(stub.url()), QStringList { QString() });
    QTRY_VERIFY(stub.peerClosed);
    QVERIFY2(stub.endlessBytesSent < HttpStub::EndlessCap,
        qPrintable(QString::number(stub.endlessBytesSent)));
}

void UpdateTest::interruptionEndsAHangingRequest_data()
{
    QTest::addColumn<bool>("askFirst");
    QTest::newRow("requestInterruption, then wait") << true;
    QTest::newRow("destroyed while running") << false;
}

// The server takes the request and never answers; there is no time-out, so
// only the interruption can end the run. It must end at once and say
// nothing.
void UpdateTest::interruptionEndsAHangingRequest()
{
    QFETCH(bool, askFirst);
    HttpStub stub(HttpStub::Silent);
    QObject receiver;
    QStringList messages;
    auto worker = std::make_unique<QVessikAnalytics>();
    QObject::connect(worker.get(), &QVessikAnalytics::updateMessage, &receiver,
        [&messages](const QString &message) { messages << message; });
    worker->setUrl(stub.url());
    worker->start();
    QTRY_COMPARE(stub.requests.size(), 1);
    QVERIFY(worker->isRunning());

    QElapsedTimer clock;
    clock.start();
    if (askFirst) {
        worker->requestInterruption();
        QVERIFY(worker->wait(5000));
    }
    worker.reset(); // must not destroy a running thread, nor hang
    QVERIFY2(clock.elapsed() < PromptExitMs, qPrintable(QString::number(clock.elapsed())));
    QCoreApplication::processEvents();
    QVERIFY(messages.isEmpty());
    QTRY_VERIFY(stub.peerClosed); // the connection was dropped, not left open
}

void UpdateTest::updateBox_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shownVersion"); // "" for no box
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("white space only") << " \t\r\n "
                                      << "";
    QTest::newRow("same version padded") << "\t 2.8.0 \r\n"
                                         << "";
    QTest::newRow("newer with spaces") << " 2.9.1 "
                                       << "2.9.1";
    QTest::newRow("older") << "2.7.9"
                           << "2.7.9";
    QTest::newRow("prefix of the version") << "2.8"
                                           << "2.8";
    QTest::newRow("markup") << "<a href=\"http://evil.example/\">get it</a> & <b>now</b>"
                            << "&lt;a href=&quot;http://evil.example/&quot;&gt;get it&lt;/a&gt; "
                               "&amp; &lt;b&gt;now&lt;/b&gt;";
}

void UpdateTest::updateBox()
{
    QFETCH(QString, message);
    QFETCH(QString, shownVersion);
    MainWindow w;
    Modals modals;
    modals.box(QMessageBox::Ok);
    w.onUpdateAvailable(message);
    QCOMPARE(modals.seen.size(), shownVersion.isEmpty() ? 0 : 1);
    if (shownVersion.isEmpty())
        return;
    QCOMPARE(boxText(modals.seen[0]),
        boxText(QMessageBox::Information, "Update", expectedUpdateText(shownVersion),
            { QMessageBox::Ok }));
    // Whatever the site sent, the box shows it as text and links only to the
    // download page.
    QVERIFY(plainText(modals.seen[0].text).endsWith("New version: " + message.trimmed()));
    QCOMPARE(links(modals.seen[0].text).size(), 1);
    QCOMPARE(links(modals.seen[0].text).first().first,
        QStringLiteral("http://" TARVELO_WEBSITE "/tarvelo/"));
}

void UpdateTest::windowAsksTheMakersSite_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("shownVersion"); // "" for no box
    QTest::newRow("same version with line break") << ok("2.8.0\n") << true << "";
    QTest::newRow("newer with spaces") << ok(" 2.9.1 ") << true << "2.9.1";
    QTest::newRow("404") << response("404 Not Found", "2.9.1") << true << "";
    QTest::newRow("refused") << QByteArray() << false << "";
}

// The window's own check from start to end: the real constructor's address
// (routed to the test server, which plays the HTTP proxy for every host but
// 127.0.0.1), the worker, the queued message and the box.
void UpdateTest::windowAsksTheMakersSite()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, reachable);
    QFETCH(QString, shownVersion);
    HttpStub stub(HttpStub::Answer, answer);
    if (reachable)
        outsidePort().storeRelease(stub.port());
    Modals modals;
    modals.box(QMessageBox::Ok);
    MainWindow w;
    QVessikAnalytics &checker = WindowProbe::updateChecker(w);
    QVERIFY(QTest::qWaitFor([&checker]() { return checker.isFinished(); }, 15000));
    QCoreApplication::processEvents(); // the queued message, and its box if any

    QCOMPARE(stub.requests.size(), reachable ? 1 : 0);
    if (reachable) {
        QCOMPARE(requestLine(stub.requests.first()),
            "GET http://" TARVELO_WEBSITE + updatePath.toLatin1() + " HTTP/1.1");
        QCOMPARE(headerValue(stub.requests.first(), "User-Agent"), QByteArray("Dovrin"));
    }
    QCOMPARE(modals.seen.size(), shownVersion.isEmpty() ? 0 : 1);
    if (!shownVersion.isEmpty())
        QCOMPARE(modals.seen[0].text, expectedUpdateText(shownVersion));
}

void UpdateTest::closingWithRequestOutstanding_data()
{
    QTest::addColumn<bool>("answered");
    QTest::newRow("no answer yet") << false;
    // The answer has arrived and its message is queued for the window, but
    // the window goes before it can be delivered.
    QTest::newRow("answer still queued") << true;
}

// Closing the program while the site has not answered, or before its answer
// is delivered: the window goes at once and no box turns up afterwards.
void UpdateTest::closingWithRequestOutstanding()
{
    QFETCH(bool, answered);
    HttpStub stub(HttpStub::Silent);
    outsidePort().storeRelease(stub.port());
    Modals modals;
    auto w = std::make_unique<MainWindow>();
    QVessikAnalytics &checker = WindowProbe::updateChecker(*w);
    QSignalSpy emitted(&checker, &QVessikAnalytics::updateMessage);
    QTRY_COMPARE(stub.requests.size(), 1);
    QVERIFY(checker.isRunning());
    if (answered) {
        // From here on this thread runs no events, so the message stays
        // queued: answer with blocking writes and wait for the worker.
        QVERIFY(stub.answerBlocking(ok("2.9.1")));
        QVERIFY(checker.wait(15000));
        QCOMPARE(emitted.count(), 1);
    }

    QElapsedTimer clock;
    clock.start();
    w.reset();
    qInfo("window destroyed %lld ms after the close", clock.elapsed());
    QVERIFY2(clock.elapsed() < PromptExitMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(emitted.count(), answered ? 1 : 0);
    if (!answered)
        QTRY_VERIFY(stub.peerClosed);
    QCoreApplication::processEvents();
    QCOMPARE(modals.seen.size(), 0);
}

TARVELO_TEST_MAIN(UpdateTest)
#include "tst_update.moc"
