// The runner on its own: no more than workers + 1 pictures held however
// many are queued, and a cancelled ticket is skipped.

#include "batch/batchrunner.h"
#include "testsupport.h"

using namespace TestSupport;

class BatchRunnerTest : public QObject
{
    Q_OBJECT

private slots:
    void boundAndCancel();
};

void BatchRunnerTest::boundAndCancel()
{
    QTemporaryDir dir;
    QStringList paths;
    for (int k = 0; k < 8; ++k) {
        paths << dir.filePath(QStringLiteral("p%1.png").arg(k));
        QVERIFY(writeFile(paths.last(), encode(photoLike(16, 12, quint32(k)), "png")));
    }
    BatchOptions options;
    options.suffix = "png";
    options.workers = 2;
    BatchRunner runner(options);
    QCOMPARE(runner.workerCount(), 2);
    QList<int> tickets;
    for (const QString &path : paths)
        tickets << runner.submit(path);
    runner.cancel(tickets[1]);
    // Everything the runner may do without a taker is done by now; what it
    // has not read by then is gone when it looks.
    QTest::qWait(2000);
    for (const QString &path : paths)
        QFile::remove(path);
    QStringList seen;
    for (int k = 0; k < tickets.size(); ++k) {
        BatchResult result;
        if (k == 1)
            continue;
        QVERIFY(runner.take(tickets[k], result, 60000));
        QCOMPARE(result.path, paths[k]);
        seen << (result.status == BatchResult::Status::Stamped ? "stamped" : "missing");
    }
    // Held before the files went: workers + 1, the cancelled one not among them.
    QCOMPARE(seen.join(' '), "stamped stamped stamped missing missing missing missing");
}

TARVELO_TEST_MAIN(BatchRunnerTest)
#include "tst_batchrunner.moc"
