// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/batchsession.h"

#include <QAbstractItemModel>
#include <QFileInfo>

#include "batch/batchlog.h"

// Follows the picture list under the running batch. `row` is the next
// picture the run reaches; `ahead` holds the runner's tickets of the
// pictures from that row on that were handed to it already, in list order.
class BatchSession::Cursor : public QObject
{
public:
    Cursor(const QAbstractItemModel *model, BatchRunner &runner)
        : model(model)
        , runner(runner)
    {
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { removed(first, last); });
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this]() { removed(0, count() - 1); });
        connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { inserted(first, last); });
    }

    int count() const { return model->rowCount(); }
    bool atEnd() const { return row >= count(); }

    // Hands the pictures from `row` on to the runner, up to `ahead` of them.
    void fill(int wanted)
    {
        while (int(ahead.size()) < wanted && row + int(ahead.size()) < count()) {
            // Numbered by its place in the list, from 1.
            const int at = row + int(ahead.size());
            ahead.push_back(runner.submit(model->data(model->index(at, 0)).toString(), at + 1));
        }
    }

    // The picture at `row` was taken: the run goes on with the next one.
    void advance()
    {
        ahead.pop_front();
        ++row;
    }

    // Drops what was handed out ahead, e.g. to hand it out again.
    void dropAhead()
    {
        for (const int ticket : ahead)
            runner.cancel(ticket);
        ahead.clear();
    }

    int row = 0;
    std::deque<int> ahead;

private:
    void removed(int first, int last)
    {
        for (int r = last; r >= first; --r) {
            const int k = r - row;
            if (k >= 0 && k < int(ahead.size())) {
                runner.cancel(ahead[size_t(k)]);
                ahead.erase(ahead.begin() + k);
            }
        }
        if (last < row)
            row -= last - first + 1;
        else if (first < row)
            row = first;
    }

    void inserted(int first, int last)
    {
        if (first <= row)
            row += last - first + 1;
        else if (first < row + int(ahead.size()))
            dropAhead(); // handed out again, in the new order
    }

    const QAbstractItemModel *model;
    BatchRunner &runner;
};

BatchSession::BatchSession(const BatchOptions &options, const QAbstractItemModel *pictures,
    const QString &folder, std::function<QString()> suffixNow, QObject *parent)
    : QObject(parent)
    , options(options)
    , pictures(pictures)
    , folder(folder)
    , suffixNow(std::move(suffixNow))
{
}

// Leaving drops whatever was stamped ahead and waits for the pictures being
// worked on.
BatchSession::~BatchSession() = default;

void BatchSession::start(int wait)
{
    waitMs = wait;
    runner = std::make_unique<BatchRunner>(options);
    cursor = std::make_unique<Cursor>(pictures, *runner);
    running = true;
    schedule();
}

void BatchSession::stop()
{
    stopping = true;
}

void BatchSession::pause()
{
    paused = true;
}

void BatchSession::resume()
{
    paused = false;
    if (running && !stepPending)
        schedule();
}

bool BatchSession::isRunning() const
{
    return running;
}

void BatchSession::schedule()
{
    stepPending = true;
    QMetaObject::invokeMethod(this, &BatchSession::step, Qt::QueuedConnection);
}

// One step between two rounds of events: announces the next picture, or
// waits a little for the one at the cursor and writes it.
void BatchSession::step()
{
    stepPending = false;
    if (!running || paused)
        return; // resume() goes on
    switch (phase) {
    case Phase::Next:
        if (stopping || cursor->atEnd())
            return finish();
        phase = Phase::Announced;
        emit pictureStarting();
        return schedule();
    case Phase::Announced:
        phase = Phase::Waiting;
        return schedule();
    case Phase::Waiting:
        break;
    }
    // The user may remove the picture waited for, or everything, meanwhile.
    if (cursor->atEnd())
        return finish();
    const QString suffix = suffixNow();
    if (suffix != options.suffix) {
        options.suffix = suffix;
        runner->setSuffix(suffix);
    }
    cursor->fill(runner->workerCount() + 1);
    BatchResult result;
    if (runner->take(cursor->ahead.front(), result, waitMs)) {
        phase = Phase::Next;
        const int row = cursor->row;
        cursor->advance();
        if (takeStamped(result, row)) {
            last = std::move(result);
            last.bytes.clear();
        }
    }
    schedule();
}

void BatchSession::finish()
{
    running = false;
    cursor.reset();
    runner.reset();
    emit finished();
}

// Writes and reports one picture the runner finished; true when it was
// stamped.
bool BatchSession::takeStamped(BatchResult &result, int row)
{
    // A file deleted since it was listed is skipped without a word, also
    // when it was read ahead before it went.
    if (result.status == BatchResult::Status::Missing || !QFileInfo::exists(result.path))
        return false;

    const QString suffix = suffixNow();
    if (result.status == BatchResult::Status::Stamped && result.suffix != suffix) {
        // The format changed after this picture was started: its metadata
        // was written for the other one, so the picture is made again, in
        // the format its name will have.
        BatchOptions again = options;
        again.suffix = suffix;
        result = runner->stamp(result.path, again, result.counter);
        if (result.status == BatchResult::Status::Missing)
            return false;
    }
    QString failure = result.failure;
    const bool isStamped = result.status == BatchResult::Status::Stamped;
    // Numbered by its place in the list, from 1, as tarvelo-cli numbers its
    // pictures.
    Fields::Values values = result.values;
    values.counter = row + 1;
    const OutputNames::Place place = OutputNames::place(
        options, pictures->data(pictures->index(row, 0), RootRole).toString(), result.path, values);
    const QString shownName
        = place.folder.isEmpty() ? place.name : place.folder + QLatin1Char('/') + place.name;

    bool written = false;
    if (failure.isEmpty())
        failure = place.refusal;
    if (failure.isEmpty()) {
        const OutputFiles::WriteResult write = BatchRunner::write(result, folder, place);
        written = write.ok;
        if (write.ok && write.renamed)
            emit loggedHtml(BatchLog::overwriteWarning(
                place.folder.isEmpty() ? folder : folder + QLatin1Char('/') + place.folder,
                place.name, suffix, write.path));
        failure = write.errorText;
    }
    if (!written) {
        emit loggedText(failure);
        emit pictureFailed(QPersistentModelIndex(pictures->index(row, 0)), failure);
    } else {
        for (const QString &notice : { result.metadataLost, result.outside })
            if (!notice.isEmpty())
                emit loggedText(notice);
    }
    ++(written ? stamped : failed);

    emit progressed(row);
    emit loggedText(BatchLog::progressLine(shownName, suffix, written, row + 1, cursor->count()));
    return isStamped;
}
