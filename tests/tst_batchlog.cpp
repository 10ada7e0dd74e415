// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of the results log, word for word.

#include "batch/batchlog.h"
#include "testsupport.h"

class BatchLogTest : public QObject
{
    Q_OBJECT

private slots:
    void lines();
};

void BatchLogTest::lines()
{
    QCOMPARE(BatchLog::progressLine("my.trip", "png", true, 2, 5), "my.trip.png ... OK! (2 of 5)");
    QCOMPARE(BatchLog::progressLine("a", "jpg", false, 5, 5), "a.jpg ... Failed! (5 of 5)");
    QCOMPARE(BatchLog::runSummary(17, 3), "17 of 20 pictures stamped, 3 failed.");
    QCOMPARE(BatchLog::runSummary(0, 1), "0 of 1 picture stamped, 1 failed.");
    // Renamed, its names escaped.
    QCOMPARE(BatchLog::overwriteWarning("/out", "a&b<i>", "png", "/out/a&b<i>_1.png")
                 .remove(QRegularExpression("<[^>]*>")),
        "Warning - File /out/a&amp;b&lt;i&gt;.png saved with new name /out/a&amp;b&lt;i&gt;_1.png "
        "to avoid overwrite because it already existed!");
}

TARVELO_TEST_MAIN(BatchLogTest)
#include "tst_batchlog.moc"
