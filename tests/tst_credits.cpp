// The Credits button: the toolkit's about box, then the icon credits, then
// the maker's web site, in that order, however each box is closed.

#include <QDesktopServices>
#include <QtTest>

#include "config.h"
#include "testsupport.h"

using namespace TestSupport;

// Takes the place of the browser: records what it is asked to open, and how
// many boxes had come up by then.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList opened;
    int boxesBefore = -1;
    bool modalOpen = true;
    const Modals *modals = nullptr;

public slots:
    void open(const QUrl &url)
    {
        opened << url.toString();
        boxesBefore = modals->seen.size();
        modalOpen = QApplication::activeModalWidget() != nullptr;
    }
};

class CreditsTest : public QObject
{
    Q_OBJECT

private slots:
    void threeStepsInOrder_data();
    void threeStepsInOrder();
};

void CreditsTest::threeStepsInOrder_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Ok") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("title-bar close") << 2;
}

void CreditsTest::threeStepsInOrder()
{
    QFETCH(int, answer);
    MainWindow w;
    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    Modals modals;
    browser.modals = &modals;
    for (int box = 0; box < 2; ++box) {
        if (answer == 0)
            modals.box(QMessageBox::Ok);
        else if (answer == 1)
            modals.box(QMessageBox::NoButton);
        else
            modals.any([](QWidget *modal) { return modal->close(); });
    }
    // The slot is bound to `pressed`, and each step waits for the user.
    emit WindowProbe::ui(w)->credits_btn->pressed();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(modals.unexpected, 0);
    QCOMPARE(modals.seen.size(), 2);
    QCOMPARE(modals.seen[0].title, QStringLiteral("About Qt"));
    QCOMPARE(boxText(modals.seen[1]),
        boxText(QMessageBox::Information, "Icons", modals.seen[1].text, { QMessageBox::Ok }));
    QCOMPARE(browser.opened, QStringList { "http://" TARVELO_WEBSITE "/" });
    QCOMPARE(browser.boxesBefore, 2);
    QVERIFY(!browser.modalOpen);

    // "Icons made by <authors>, from <site> ... <licence>", each a link.
    const QString text = modals.seen[1].text;
    const QString plain = plainText(text);
    QVERIFY2(plain.startsWith(QLatin1String("Icons made by ")), qPrintable(plain));
    const auto found = links(text);
    QVERIFY(found.size() >= 3);
    QCOMPARE(found.at(0).first, QStringLiteral("http://tango.freedesktop.org/"));
    QVERIFY(found.at(0).second.contains(QLatin1String("Tango")));
    QVERIFY(found.at(1).first.startsWith(QLatin1String("http://tango.freedesktop.org/")));
    QCOMPARE(
        found.at(2).first, QStringLiteral("http://creativecommons.org/licenses/publicdomain/"));
    QVERIFY(plain.indexOf(found.at(0).second) < plain.indexOf(QLatin1String(", from ")));
    QVERIFY(plain.indexOf(QLatin1String(", from ")) < plain.indexOf(found.at(1).second));
    QVERIFY(plain.contains(QLatin1String("public domain")));
    // The arrows are not Tango's: they are drawn from DejaVu Sans.
    QVERIFY(plain.contains(QLatin1String("DejaVu Sans")));

    // The credits must follow the icons' recorded origin.
    const QString origins
        = QString::fromUtf8(readFile(QFINDTESTDATA("../src/Resources/README.md")));
    QVERIFY(origins.contains(QLatin1String("tango-icon-theme")));
    QVERIFY(origins.contains(QLatin1String("public domain")));
    QVERIFY(origins.contains(QLatin1String("DejaVu Sans")));
}

TARVELO_TEST_MAIN(CreditsTest)
#include "tst_credits.moc"
