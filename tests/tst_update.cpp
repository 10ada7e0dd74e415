// The update check against a real HTTP server on 127.0.0.1 run by this test
// in its main thread: the request the worker sends, what it makes of each
// answer (and of oversized or endless ones), the window's "Update" box, and
// closing the window while the request is still outstanding.

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include <memory>

#include "boxwatcher.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "windowprobe.h"

namespace {

const QString updatePath = QStringLiteral("/webapps/tarvelo.php?version=2.8.0");
// What the window asks for; the test's proxy setting brings it here.
const QString productionUrl = QStringLiteral("http://" TARVELO_WEBSITE) + updatePath;

// Closing while the server never answers must not wait for the reply. The
// bound only tells "ended on its own" from "waited for the network" (which
// would never end); the actual figure, a few tens of milliseconds, is logged
// and is not a target of this test.
constexpr qint64 PromptExitMs = 3000;

QByteArray response(const QByteArray &statusLine, const QByteArray &body,
    const QByteArray &extraHeaders = QByteArray())
{
    return "HTTP/1.1 " + statusLine
        + "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

QByteArray ok(const QByteArray &body)
{
    return response("200 OK", body);
}

// A body that ends when the server closes the connection: the client cannot
// learn its size in advance.
QByteArray okUntilClose(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + body;
}

QByteArray okChunked(const QByteArray &body, int chunkSize)
{
    QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: "
                     "chunked\r\nConnection: close\r\n\r\n";
    for (int at = 0; at < body.size(); at += chunkSize) {
        const QByteArray chunk = body.mid(at, chunkSize);
        out += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// A small HTTP server for one scripted answer per connection.
class HttpStub : public QObject
{
public:
    enum class Mode {
        Answer, // send `answer`, then close
        Silent, // read the request and never answer
        Drop, // close the connection without answering
        Endless, // a 200 answer whose body never ends (up to EndlessCap)
    };

    static constexpr qint64 EndlessCap = 64LL * 1024 * 1024;

    HttpStub() { connect(&server, &QTcpServer::newConnection, this, &HttpStub::accept); }

    bool start() { return server.listen(QHostAddress::LocalHost, 0); }

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
    quint16 port() const { return server.serverPort(); }
    QString url(const QString &pathAndQuery = updatePath) const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(port()) + pathAndQuery;
    }

    Mode mode = Mode::Answer;
    QByteArray answer;

    QList<QByteArray> requests; // everything up to the blank line
    qint64 endlessBytesSent = 0;
    bool answered = false; // the whole answer has left this side
    bool peerClosed = false; // the client hung up before we did

private:
    void accept()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            auto closingOurselves = std::make_shared<bool>(false);
            connect(
                socket, &QTcpSocket::readyRead, this, [this, socket, buffer, closingOurselves]() {
                    if (buffer->contains("\r\n\r\n"))
                        return; // the request is complete; ignore anything after it
                    *buffer += socket->readAll();
                    const int end = buffer->indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    requests << buffer->left(end + 2);
                    lastSocket = socket;
                    respond(socket, closingOurselves);
                });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket, closingOurselves]() {
                if (!*closingOurselves)
                    peerClosed = true;
                else
                    answered = true;
                socket->deleteLater();
            });
        }
    }

    void respond(QTcpSocket *socket, const std::shared_ptr<bool> &closingOurselves)
    {
        switch (mode) {
        case Mode::Answer:
            socket->write(answer);
            *closingOurselves = true;
            socket->disconnectFromHost(); // after the answer has been written
            return;
        case Mode::Silent:
            return;
        case Mode::Drop:
            *closingOurselves = true;
            socket->disconnectFromHost();
            return;
        case Mode::Endless: {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                          "Connection: close\r\n\r\n");
            const auto pump = [this, socket, closingOurselves]() {
                const QByteArray chunk(64 * 1024, '9');
                while (socket->state() == QAbstractSocket::ConnectedState
                    && socket->bytesToWrite() < 4 * chunk.size() && endlessBytesSent < EndlessCap) {
                    socket->write(chunk);
                    endlessBytesSent += chunk.size();
                }
                if (endlessBytesSent >= EndlessCap && !*closingOurselves) {
                    *closingOurselves = true;
                    socket->disconnectFromHost();
                }
            };
            connect(socket, &QTcpSocket::bytesWritten, this, pump);
            pump();
            return;
        }
        }
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
struct WorkerRun
{
    QStringList messages;
    bool finished = false;
};

WorkerRun runWorker(const QString &url, int timeoutMs = 15000)
{
    WorkerRun run;
    QObject receiver;
    QVessikAnalytics worker;
    QObject::connect(&worker, &QVessikAnalytics::updateMessage, &receiver,
        [&run](const QString &message) { run.messages << message; });
    worker.setUrl(url);
    worker.start();
    run.finished = QTest::qWaitFor([&worker]() { return worker.isFinished(); }, timeoutMs);
    QCoreApplication::processEvents(); // deliver what was queued last
    return run;
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

QString renderedText(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

QStringList linkTargets(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    QStringList targets;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                targets << it.fragment().charFormat().anchorHref();
    targets.removeDuplicates();
    return targets;
}

} // namespace

class UpdateTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void requestLineAndHeaders_data();
    void requestLineAndHeaders();
    void workerAnswers_data();
    void workerAnswers();
    void refusedPortGivesEmptyMessage();
    void endlessBodyIsNotReadWhole();
    void interruptionEndsAHangingRequest_data();
    void interruptionEndsAHangingRequest();

    void updateBox_data();
    void updateBox();
    void windowAsksTheMakersSite_data();
    void windowAsksTheMakersSite();
    void closingWhileRequestHangs();
    void closingWithAnswerStillQueued();

private:
    int offlinePort = 0;
};

void UpdateTest::initTestCase()
{
    offlinePort = TestIsolation::outsidePort().loadAcquire();
}

void UpdateTest::cleanup()
{
    TestIsolation::outsidePort().storeRelease(offlinePort);
}

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
    HttpStub stub;
    QVERIFY(stub.start());
    stub.answer = ok("2.8.0");

    QString url = stub.url();
    if (!withScheme)
        url.remove(QStringLiteral("http://"));
    const WorkerRun run = runWorker(url);
    QVERIFY(run.finished);
    QCOMPARE(run.messages, QStringList { "2.8.0" });

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

    const auto answer = int(HttpStub::Mode::Answer);
    const QByteArray fits(64 * 1024, 'v');
    const QByteArray tooLarge(64 * 1024 + 1, 'v');

    // The body comes untrimmed; the window trims it.
    QTest::newRow("same version with line break") << answer << ok("2.8.0\n") << "2.8.0\n";
    QTest::newRow("spaces kept") << answer << ok(" 2.9.1 ") << " 2.9.1 ";
    QTest::newRow("utf-8") << answer << ok("2.9.1 \xe2\x80\x94 gr\xc3\xbcn")
                           << QString::fromUtf8("2.9.1 \xe2\x80\x94 gr\xc3\xbcn");
    QTest::newRow("up to the first zero byte")
        << answer << ok(QByteArray("2.9.1\0<b>hidden</b>", 19)) << "2.9.1";
    QTest::newRow("empty body") << answer << ok("") << "";
    QTest::newRow("body without length") << answer << okUntilClose("2.9.2") << "2.9.2";
    QTest::newRow("chunked") << answer << okChunked("2.9.3", 2) << "2.9.3";
    QTest::newRow("exactly 64 KiB") << answer << ok(fits) << QString::fromLatin1(fits);
    // Failures all give an empty message.
    QTest::newRow("404") << answer << response("404 Not Found", "2.9.1") << "";
    QTest::newRow("500") << answer << response("500 Internal Server Error", "2.9.1") << "";
    QTest::newRow("redirect") << answer
                              << response(
                                     "301 Moved Permanently", "2.9.1", "Location: /elsewhere\r\n")
                              << "";
    QTest::newRow("one byte over 64 KiB, declared") << answer << ok(tooLarge) << "";
    QTest::newRow("one byte over 64 KiB, undeclared") << answer << okUntilClose(tooLarge) << "";
    QTest::newRow("over 64 KiB, chunked") << answer << okChunked(tooLarge, 5000) << "";
    QTest::newRow("declared huge, sent small")
        << answer << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n2.9.1") << "";
    QTest::newRow("not HTTP at all") << answer << QByteArray("2.9.1\r\n\r\n") << "";
    QTest::newRow("hung up without answer") << int(HttpStub::Mode::Drop) << QByteArray() << "";
}

void UpdateTest::workerAnswers()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, answer);
    QFETCH(QString, message);

    HttpStub stub;
    QVERIFY(stub.start());
    stub.mode = HttpStub::Mode(mode);
    stub.answer = answer;

    const WorkerRun run = runWorker(stub.url());
    QVERIFY(run.finished);
    // The toolkit itself may send the request again after a broken answer.
    QVERIFY(!stub.requests.isEmpty());
    QCOMPARE(run.messages.size(), 1); // one message per run, success or not
    QCOMPARE(run.messages.first().size(), message.size());
    QCOMPARE(run.messages.first(), message);
}

void UpdateTest::refusedPortGivesEmptyMessage()
{
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    const WorkerRun run = runWorker(QStringLiteral("http://127.0.0.1:%1").arg(port) + updatePath);
    QVERIFY(run.finished);
    QCOMPARE(run.messages, QStringList { QString() });
}

// A server that sends without end must not make the worker hold the body:
// it gives up soon after the limit, long before the server is done.
void UpdateTest::endlessBodyIsNotReadWhole()
{
    HttpStub stub;
    QVERIFY(stub.start());
    stub.mode = HttpStub::Mode::Endless;

    const WorkerRun run = runWorker(stub.url());
    QVERIFY(run.finished);
    QCOMPARE(run.messages, QStringList { QString() });
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
    HttpStub stub;
    QVERIFY(stub.start());
    stub.mode = HttpStub::Mode::Silent;

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
    const qint64 elapsedMs = clock.elapsed();
    QVERIFY2(elapsedMs < PromptExitMs, qPrintable(QString::number(elapsedMs)));

    QCoreApplication::processEvents();
    QVERIFY(messages.isEmpty());
    QTRY_VERIFY(stub.peerClosed); // the connection was dropped, not left open
}

void UpdateTest::updateBox_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("shownVersion");

    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("white space only") << " \t\r\n " << false << "";
    QTest::newRow("same version") << "2.8.0" << false << "";
    QTest::newRow("same version with line break") << "2.8.0\n" << false << "";
    QTest::newRow("same version padded") << "\t 2.8.0 \r\n" << false << "";
    QTest::newRow("newer with spaces") << " 2.9.1 " << true << "2.9.1";
    QTest::newRow("older") << "2.7.9" << true << "2.7.9";
    QTest::newRow("prefix of the version") << "2.8" << true << "2.8";
    QTest::newRow("different case") << "2.8.0-RC" << true << "2.8.0-RC";
    QTest::newRow("markup") << "<a href=\"http://evil.example/\">get it</a> & <b>now</b>" << true
                            << "&lt;a href=&quot;http://evil.example/&quot;&gt;get it&lt;/a&gt; "
                               "&amp; &lt;b&gt;now&lt;/b&gt;";
}

void UpdateTest::updateBox()
{
    QFETCH(QString, message);
    QFETCH(bool, shown);
    QFETCH(QString, shownVersion);

    MainWindow w;
    BoxWatcher watcher;
    w.onUpdateAvailable(message);
    if (!shown) {
        QVERIFY(watcher.boxes.isEmpty());
        return;
    }
    QCOMPARE(watcher.boxes.size(), 1);
    const BoxWatcher::Box box = watcher.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Update"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QList<QMessageBox::StandardButton> { QMessageBox::Ok });
    QCOMPARE(box.text, expectedUpdateText(shownVersion));
    // Whatever the site sent, the box shows it as text and links only to the
    // download page.
    QVERIFY(renderedText(box.text).endsWith("New version: " + message.trimmed()));
    QCOMPARE(linkTargets(box.text), QStringList { "http://" TARVELO_WEBSITE "/tarvelo/" });
}

void UpdateTest::windowAsksTheMakersSite_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("shownVersion"); // "" for no box

    QTest::newRow("same version with line break") << ok("2.8.0\n") << true << "";
    QTest::newRow("newer with spaces") << ok(" 2.9.1 ") << true << "2.9.1";
    QTest::newRow("older") << ok("2.7.0") << true << "2.7.0";
    QTest::newRow("markup") << ok("<a href='http://evil.example/'>x</a>") << true
                            << "&lt;a href='http://evil.example/'&gt;x&lt;/a&gt;";
    QTest::newRow("404") << response("404 Not Found", "2.9.1") << true << "";
    QTest::newRow("oversized") << ok(QByteArray(100000, '3')) << true << "";
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

    HttpStub stub;
    QVERIFY(stub.start());
    stub.answer = answer;
    if (reachable)
        TestIsolation::outsidePort().storeRelease(stub.port());

    BoxWatcher watcher;
    MainWindow w;
    QVessikAnalytics &checker = WindowProbe::updateChecker(w);
    QVERIFY(QTest::qWaitFor([&checker]() { return checker.isFinished(); }, 15000));
    QCoreApplication::processEvents(); // the queued message, and its box if any

    if (reachable) {
        QCOMPARE(stub.requests.size(), 1);
        QCOMPARE(
            requestLine(stub.requests.first()), "GET " + productionUrl.toLatin1() + " HTTP/1.1");
        QCOMPARE(headerValue(stub.requests.first(), "User-Agent"), QByteArray("Dovrin"));
    } else {
        QVERIFY(stub.requests.isEmpty());
    }
    if (shownVersion.isEmpty()) {
        QVERIFY(watcher.boxes.isEmpty());
    } else {
        QCOMPARE(watcher.boxes.size(), 1);
        QCOMPARE(watcher.boxes.first().title, QStringLiteral("Update"));
        QCOMPARE(watcher.boxes.first().text, expectedUpdateText(shownVersion));
    }
}

// Closing the program while the site has not answered: the window goes at
// once, the worker says nothing, and no box turns up afterwards.
void UpdateTest::closingWhileRequestHangs()
{
    HttpStub stub;
    QVERIFY(stub.start());
    stub.mode = HttpStub::Mode::Silent;
    TestIsolation::outsidePort().storeRelease(stub.port());

    BoxWatcher watcher;
    auto w = std::make_unique<MainWindow>();
    QSignalSpy emitted(&WindowProbe::updateChecker(*w), &QVessikAnalytics::updateMessage);
    QTRY_COMPARE(stub.requests.size(), 1);
    QVERIFY(WindowProbe::updateChecker(*w).isRunning());

    QElapsedTimer clock;
    clock.start();
    w.reset();
    const qint64 elapsedMs = clock.elapsed();
    qInfo("window destroyed %lld ms after the close with the request outstanding", elapsedMs);
    QVERIFY2(elapsedMs < PromptExitMs, qPrintable(QString::number(elapsedMs)));

    QCOMPARE(emitted.count(), 0);
    QTRY_VERIFY(stub.peerClosed);
    QCoreApplication::processEvents();
    QVERIFY(watcher.boxes.isEmpty());
}

// The answer has arrived and its message is queued for the window, but the
// window goes before it can be delivered: nothing may reach it.
void UpdateTest::closingWithAnswerStillQueued()
{
    HttpStub stub;
    QVERIFY(stub.start());
    stub.mode = HttpStub::Mode::Silent;
    TestIsolation::outsidePort().storeRelease(stub.port());

    BoxWatcher watcher;
    auto w = std::make_unique<MainWindow>();
    QVessikAnalytics &checker = WindowProbe::updateChecker(*w);
    QSignalSpy emitted(&checker, &QVessikAnalytics::updateMessage);
    QTRY_COMPARE(stub.requests.size(), 1);

    // From here on this thread runs no events, so the message stays queued:
    // answer with blocking writes and wait for the worker to finish.
    QVERIFY(stub.answerBlocking(ok("2.9.1")));
    QVERIFY(checker.wait(15000));
    QCOMPARE(emitted.count(), 1);
    QCOMPARE(emitted.first().first().toString(), QStringLiteral("2.9.1"));

    w.reset();
    QCoreApplication::processEvents();
    QVERIFY(watcher.boxes.isEmpty());
}

TARVELO_TEST_MAIN(UpdateTest)
#include "tst_update.moc"
