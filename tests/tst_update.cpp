// SPDX-License-Identifier: GPL-3.0-or-later
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
    QByteArrayList requests;
};

} // namespace

class UpdateTest : public QObject
{
    Q_OBJECT

private slots:
    void windowAsksTheMakersSite_data();
    void windowAsksTheMakersSite();
    void interruptionEndsAHangingRequest();
};

void UpdateTest::windowAsksTheMakersSite_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("shown"); // the box's last words; "" for no box
    QTest::addColumn<bool>("wanted"); // the user's stored choice
    const QByteArray fits = "2.9.1" + QByteArray(64 * 1024 - 5, ' '), tooLarge = fits + ' ';
    QTest::newRow("same version") << ok("\t2.8.0\r\n") << "" << true;
    QTest::newRow("newer") << ok(" 2.9.1\n") << "New version: 2.9.1" << true;
    QTest::newRow("turned off by the user") << ok(" 2.9.1\n") << "" << false;
    // Only a version number is an answer: a portal's or a proxy's page is not.
    QTest::newRow("markup") << ok("<a href=\"x\">y</a>") << "" << true;
    QTest::newRow("32 characters") << ok("1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.12") << "New version: 1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.12" << true;
    QTest::newRow("33 characters") << ok("1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1") << "" << true;
    QTest::newRow("up to the first zero byte") << ok(QByteArray("2.9.1\0<b>", 9)) << "New version: 2.9.1" << true;
    QTest::newRow("exactly 64 KiB") << ok(fits) << "New version: 2.9.1" << true;
    QTest::newRow("404") << ok("2.9.1", "404 Not Found") << "" << true;
    QTest::newRow("redirect") << ok("2.9.1", "301 Moved Permanently") << "" << true;
    QTest::newRow("over 64 KiB, declared") << ok(tooLarge) << "" << true;
    QTest::newRow("over 64 KiB, undeclared") << ok(tooLarge, "200 OK", false) << "" << true;
    QTest::newRow("hung up without answer") << QByteArray() << "" << true;
}

// The window's own check from start to end: the real address, routed to the
// stub as to a proxy, the worker, the queued message and the box. A build
// for a distribution never asks, nor does a window whose user said no.
void UpdateTest::windowAsksTheMakersSite()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, shown);
    QFETCH(bool, wanted);
    const bool asks = TARVELO_UPDATE_CHECK && wanted;
    QSettings store(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo"));
    store.setValue("update_check", wanted);
    HttpStub stub(answer);
    const quint16 closed = proxyTo(stub.serverPort());
    Modals modals({ QMessageBox::Ok });
    {
        MainWindow window;
        QVessikAnalytics &checker = WindowProbe::updateChecker(window);
        QCOMPARE(checker.isRunning() || checker.isFinished(), asks); // started with the window
        QTRY_VERIFY_WITH_TIMEOUT(checker.isFinished() || !asks, 15000);
        QCoreApplication::processEvents(); // the queued message, and its box
    }
    proxyTo(closed);
    QCOMPARE(store.value("update_check").toBool(), wanted);
    QCOMPARE(!stub.requests.isEmpty(), asks); // an answerless hang-up is asked again
    QVERIFY(!asks || (stub.requests[0].startsWith("GET http://" TARVELO_WEBSITE "/webapps/tarvelo.php?version=2.8.0 ")
                         && stub.requests[0].contains("\r\nUser-Agent: Dovrin\r\n")));
    QCOMPARE(modals.seen.size(), asks && !shown.isEmpty() ? 1 : 0);
    QVERIFY2(modals.seen.isEmpty() || (modals.seen[0].startsWith("Update | ") && modals.seen[0].endsWith(shown)), qPrintable(modals.seen.join("").left(200)));
}

// There is no time-out: only the interruption ends a request the server
// never answers (else the test hangs until CTest's limit), without a
// message.
void UpdateTest::interruptionEndsAHangingRequest()
{
    HttpStub stub(QByteArray(), true);
    auto worker = std::make_unique<QVessikAnalytics>();
    QSignalSpy spy(worker.get(), &QVessikAnalytics::updateMessage);
    worker->setUrl(QStringLiteral("http://127.0.0.1:%1/v").arg(stub.serverPort()));
    worker->start();
    QTRY_COMPARE(stub.requests.size(), 1);
    worker.reset(); // interrupts and waits
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 0);
}

TARVELO_TEST_MAIN(UpdateTest)
#include "tst_update.moc"
