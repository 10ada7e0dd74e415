// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

#include "batch/batchoptions.h"
#include "batch/batchrunner.h"

class QAbstractItemModel;

// One batch run over a list of pictures that may change while it runs: it
// owns the runner and follows the list, writes each picture's output file
// in list order and says what happened through its signals, which a window
// connects queued so that it hears of every picture in order between its
// own events. It knows the list only as an item model of file names (the
// display text of column 0), so it needs no widget.
//
// Pictures are only ever appended or removed while a run goes on: a removed
// picture not yet reached is dropped from the runner and never stamped, and
// removing one that was reached already moves the rest up without skipping
// any of them.
class BatchSession : public QObject
{
    Q_OBJECT

public:
    // The item data role that holds the folder a listed picture was found
    // in by walking it (the folder dropped or named); none for a picture
    // listed on its own. BatchOptions::keepTree places outputs by it.
    static constexpr int RootRole = Qt::UserRole;

    // `suffixNow` gives the output format chosen at this moment: pictures not
    // started yet are made for it, and each file is written in it (a
    // picture made for another is made again).
    BatchSession(const BatchOptions &options, const QAbstractItemModel *pictures,
        const QString &folder, std::function<QString()> suffixNow, QObject *parent = nullptr);
    ~BatchSession() override;

    // The run goes on from the event loop until the list ends or stop() was
    // called. Each step is a queued call, so the events a step causes (what
    // the receivers of pictureStarting() do, and what that posts in turn)
    // come before the run waits for the picture, at most `waitMs` at a time.
    void start(int waitMs);
    // The run leaves before its next picture.
    void stop();
    // While paused (e.g. while the user is asked whether to stop) the run
    // takes no picture and announces none; pictures read ahead stay held.
    void pause();
    void resume();
    bool isRunning() const;

    // Counts of the pictures taken so far: written, and not written.
    // Pictures gone from disk since they were listed count in neither.
    int stampedCount() const { return stamped; }
    int failedCount() const { return failed; }
    // The last picture stamped, with its images (BatchOptions::keepImages)
    // and without its bytes; Status::Failed while there is none.
    const BatchResult &lastStamped() const { return last; }

signals:
    // Before each picture the run waits for.
    void pictureStarting();
    // A line for the results log, as HTML or as plain text.
    void loggedHtml(const QString &html);
    void loggedText(const QString &text);
    // The row of the picture just taken.
    void progressed(int row);
    // A picture that was not written, and why; the index follows the row
    // when the list changes before the signal arrives.
    void pictureFailed(const QPersistentModelIndex &picture, const QString &reason);
    // The run has ended: the list was done, or it was stopped.
    void finished();

private:
    class Cursor;

    void step();
    void schedule();
    void finish();
    bool takeStamped(BatchResult &result, int row);

    BatchOptions options;
    const QAbstractItemModel *pictures;
    QString folder;
    std::function<QString()> suffixNow;
    int waitMs = 0;
    std::unique_ptr<BatchRunner> runner;
    std::unique_ptr<Cursor> cursor;
    bool running = false;
    bool stopping = false;
    bool paused = false;
    bool stepPending = false; // a step is queued
    // Where the picture at the cursor is: not announced yet, announced (its
    // receivers get one round of events), or waited for.
    enum class Phase { Next, Announced, Waiting } phase = Phase::Next;
    int stamped = 0;
    int failed = 0;
    BatchResult last;
};
