#pragma once

// Keeps every test program away from the user's world: its settings go to
// the configuration folder CTest gives that one test, and its network
// requests never leave the machine.

#include <QAtomicInt>
#include <QByteArray>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>

namespace TestIsolation {

// In test mode QSettings ignores XDG_CONFIG_HOME and writes to the one
// ~/.qttest/config shared by every test program, so tests running side by
// side would read each other's options. Point the store at this test's own
// folder instead (CTest sets XDG_CONFIG_HOME per test).
inline void settingsInTestFolder()
{
    const QByteArray folder = qgetenv("XDG_CONFIG_HOME");
    if (!folder.isEmpty())
        QSettings::setPath(
            QSettings::NativeFormat, QSettings::UserScope, QString::fromLocal8Bit(folder));
}

// The port on 127.0.0.1 that requests for any other host are sent to, as to
// an HTTP proxy. Nothing listens there unless a test sets it to a server of
// its own (the update tests do, to see the program's real request).
inline QAtomicInt &outsidePort()
{
    static QAtomicInt port(0);
    return port;
}

class LoopbackOnlyProxyFactory : public QNetworkProxyFactory
{
public:
    // Called from whichever thread makes the request.
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QString host = query.peerHostName();
        const QHostAddress address(host);
        if (host == QLatin1String("localhost") || (!address.isNull() && address.isLoopback()))
            return { QNetworkProxy(QNetworkProxy::NoProxy) };
        return { QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"),
            quint16(outsidePort().loadAcquire())) };
    }
};

// The window starts its update check as soon as it is built; in a test that
// request must neither reach the internet nor bring up a box. Sent to a
// closed local port, it is refused at once and the check stays silent.
inline void keepOffline()
{
    QTcpServer probe;
    if (probe.listen(QHostAddress::LocalHost, 0))
        outsidePort().storeRelease(probe.serverPort());
    probe.close(); // leaves a port that refuses connections
    QNetworkProxyFactory::setApplicationProxyFactory(new LoopbackOnlyProxyFactory);
}

} // namespace TestIsolation
