// The Credits button: the toolkit's about box, then the icon credits, then
// the maker's web site, in that order, however each box is closed.

#include <QDesktopServices>
#include <QFile>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include "boxwatcher.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

namespace {

// Takes the place of the browser: records each address it is asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    explicit UrlRecorder(QStringList *log)
        : log(log)
    {
    }

    bool modalOpenWhenCalled = false;

public slots:
    void open(const QUrl &url)
    {
        *log << QStringLiteral("url:") + url.toString();
        modalOpenWhenCalled = QApplication::activeModalWidget() != nullptr;
    }

private:
    QStringList *log;
};

struct Link
{
    QString target;
    QString text;
};

QList<Link> linksOf(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    QList<Link> links;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isAnchor())
                continue;
            if (!links.isEmpty() && links.last().target == format.anchorHref())
                links.last().text += it.fragment().text();
            else
                links << Link { format.anchorHref(), it.fragment().text() };
        }
    return links;
}

QString plainTextOf(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

} // namespace

class CreditsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void threeStepsInOrder_data();
    void threeStepsInOrder();
    void iconBoxCreditsTheIconsInUse();

private:
    QStringList log;
    std::unique_ptr<UrlRecorder> browser;
};

void CreditsTest::init()
{
    log.clear();
    browser = std::make_unique<UrlRecorder>(&log);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), browser.get(), "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), browser.get(), "open");
}

void CreditsTest::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    browser.reset();
}

void CreditsTest::threeStepsInOrder_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Ok") << int(BoxWatcher::Answer::Ok);
    QTest::newRow("Escape") << int(BoxWatcher::Answer::Escape);
    QTest::newRow("title-bar close") << int(BoxWatcher::Answer::Close);
}

void CreditsTest::threeStepsInOrder()
{
    QFETCH(int, answer);
    MainWindow w;
    {
        BoxWatcher watcher(BoxWatcher::Answer(answer), &log);
        // The slot is bound to `pressed`, and each step waits for the user.
        emit WindowProbe::ui(w)->credits_btn->pressed();
        QCOMPARE(watcher.boxes.size(), 2);
        QCOMPARE(watcher.boxes.at(1).icon, QMessageBox::Information);
        QCOMPARE(
            watcher.boxes.at(1).buttons, QList<QMessageBox::StandardButton> { QMessageBox::Ok });
    }
    const QStringList expected = { QStringLiteral("box:About Qt"), QStringLiteral("box:Icons"),
        QStringLiteral("url:http://" TARVELO_WEBSITE "/") };
    QCOMPARE(log, expected);
    QVERIFY(!browser->modalOpenWhenCalled);
}

void CreditsTest::iconBoxCreditsTheIconsInUse()
{
    MainWindow w;
    BoxWatcher watcher;
    emit WindowProbe::ui(w)->credits_btn->pressed();
    QCOMPARE(watcher.boxes.size(), 2);
    const QString text = watcher.boxes.at(1).text;
    QCOMPARE(watcher.boxes.at(1).title, QStringLiteral("Icons"));

    // "Icons made by <authors>, from <site> ... <licence>", each a link.
    const QString plain = plainTextOf(text);
    QVERIFY2(plain.startsWith(QLatin1String("Icons made by ")), qPrintable(plain));
    const QList<Link> links = linksOf(text);
    QVERIFY(links.size() >= 3);
    QCOMPARE(links.at(0).target, QStringLiteral("http://tango.freedesktop.org/"));
    QVERIFY(links.at(0).text.contains(QLatin1String("Tango")));
    QVERIFY(links.at(1).target.startsWith(QLatin1String("http://tango.freedesktop.org/")));
    QCOMPARE(
        links.at(2).target, QStringLiteral("http://creativecommons.org/licenses/publicdomain/"));
    QVERIFY(plain.indexOf(links.at(0).text) < plain.indexOf(QLatin1String(", from ")));
    QVERIFY(plain.indexOf(QLatin1String(", from ")) < plain.indexOf(links.at(1).text));
    QVERIFY(plain.contains(QLatin1String("public domain")));
    // The arrows are not Tango's: they are drawn from DejaVu Sans.
    QVERIFY(plain.contains(QLatin1String("DejaVu Sans")));

    // The credits must follow the icons' recorded origin.
    QFile readme(QFINDTESTDATA("../src/Resources/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString origins = QString::fromUtf8(readme.readAll());
    QVERIFY(origins.contains(QLatin1String("tango-icon-theme")));
    QVERIFY(origins.contains(QLatin1String("public domain")));
    QVERIFY(origins.contains(QLatin1String("DejaVu Sans")));
}

TARVELO_TEST_MAIN(CreditsTest)
#include "tst_credits.moc"
