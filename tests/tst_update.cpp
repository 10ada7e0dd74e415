// The update check against a real HTTP server on 127.0.0.1: what the worker
// makes of each answer, that a hanging request ends when asked, and the
// window's own check (its request routed to the server as to a proxy) with
// the box it shows.

#include "config.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

QByteArray ok(const QByteArray &body, const QByteArray &status = "200 OK", bool withLength = true)
{
    return "HTTP/1.1 " + status + "\r\nConnection: close\r\n"
        + (withLength ? "Content-Length: " + QByteArray::number(body.size()) + "\r\n" : "") + "\r\n"
        + body;
}

// Answers every request with `answer` and hangs up; `silent` never answers.
struct HttpStub : QTcpServer
{
    HttpStub(const QByteArray &answer, bool silent = false)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, [=]() {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, [=]() {
                requests << socket->readAll();
                if (!silent && requests.last().endsWith("\r\n\r\n")) {
                    socket->write(answer);
                    socket->disconnectFromHost();
                }
            });
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/v").arg(serverPort()); }
    QByteArrayList requests;
};

} // namespace

class UpdateTest : public QObject
{
    Q_OBJECT

private slots:
    void workerAnswers_data();
    void workerAnswers();
    void interruptionEndsAHangingRequest();
    void windowAsksTheMakersSite_data();
    void windowAsksTheMakersSite();
};

void UpdateTest::workerAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("message");
    const QByteArray fits(64 * 1024, 'v'), tooLarge(64 * 1024 + 1, 'v');
    // The body comes untrimmed (the window trims it); failures say "".
    QTest::newRow("version") << ok(" 2.9.1\n") << " 2.9.1\n";
    QTest::newRow("up to the first zero byte") << ok(QByteArray("2.9.1\0<b>", 9)) << "2.9.1";
    QTest::newRow("exactly 64 KiB") << ok(fits) << QString(fits);
    QTest::newRow("404") << ok("2.9.1", "404 Not Found") << "";
    QTest::newRow("redirect") << ok("2.9.1", "301 Moved Permanently") << "";
    QTest::newRow("over 64 KiB, declared") << ok(tooLarge) << "";
    QTest::newRow("over 64 KiB, undeclared") << ok(tooLarge, "200 OK", false) << "";
    QTest::newRow("hung up without answer") << QByteArray() << "";
}

void UpdateTest::workerAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, message);
    HttpStub stub(answer);
    QVessikAnalytics worker;
    QSignalSpy spy(&worker, &QVessikAnalytics::updateMessage);
    worker.setUrl(stub.url());
    worker.start();
    QTRY_VERIFY_WITH_TIMEOUT(worker.isFinished(), 15000);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].toString(), message);
    QVERIFY(stub.requests[0].startsWith("GET /v HTTP/1.1\r\n"));
    QVERIFY(stub.requests[0].contains("\r\nUser-Agent: Dovrin\r\n"));
}

// There is no time-out: only the interruption ends a request the server
// never answers, at once and without a message.
void UpdateTest::interruptionEndsAHangingRequest()
{
    HttpStub stub(QByteArray(), true);
    auto worker = std::make_unique<QVessikAnalytics>();
    QSignalSpy spy(worker.get(), &QVessikAnalytics::updateMessage);
    worker->setUrl(stub.url());
    worker->start();
    QTRY_COMPARE(stub.requests.size(), 1);
    QElapsedTimer clock;
    clock.start();
    worker.reset(); // interrupts and waits
    QVERIFY(clock.elapsed() < 3000);
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 0);
}

void UpdateTest::windowAsksTheMakersSite_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown"); // the box's last words; "" for no box
    QTest::newRow("same version") << QByteArray("\t2.8.0\r\n") << "";
    QTest::newRow("newer") << QByteArray(" 2.9.1 ") << "New version: 2.9.1";
    // Whatever the site sends shows as text, never as markup or a link.
    QTest::newRow("markup") << QByteArray("<a href=\"x\">y</a>") << "New version: &lt;a href=&quot;x&quot;&gt;y&lt;/a&gt;";
}

void UpdateTest::windowAsksTheMakersSite()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    HttpStub stub(ok(body));
    const quint16 closed = proxyTo(stub.serverPort()); // the stub plays the proxy
    Modals modals({ QMessageBox::Ok });
    {
        MainWindow window;
        QTRY_VERIFY(WindowProbe::updateChecker(window).isFinished());
        QCoreApplication::processEvents(); // the queued message, and its box
    }
    proxyTo(closed);
    QCOMPARE(stub.requests.size(), 1);
    QVERIFY(stub.requests[0].startsWith("GET http://" TARVELO_WEBSITE "/webapps/tarvelo.php?version=2.8.0 "));
    QCOMPARE(modals.seen.size(), shown.isEmpty() ? 0 : 1);
    if (!shown.isEmpty())
        QVERIFY2(modals.seen[0].startsWith("Update | ") && modals.seen[0].endsWith(shown), qPrintable(modals.seen[0]));
}

TARVELO_TEST_MAIN(UpdateTest)
#include "tst_update.moc"
