// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/clirun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QSet>
#include <QSettings>
#include <QVector>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include "batch/batchlog.h"
#include "batch/batchrunner.h"
#include "batch/fields.h"
#include "batch/logofile.h"
#include "batch/outputnames.h"
#include "batch/picturepaths.h"
#include "batch/storedoptions.h"
#include "batch/translation.h"
#include "cli/journal.h"
#include "cli/records.h"
#include "common/drawingreasons.h"
#include "io/decoderparent.h"
#include "io/outputfiles.h"
#include "io/pictureio.h"

namespace Cli {

namespace {

// ---- signals ----

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

// Ctrl-C and SIGTERM only raise a flag: the picture being written is
// finished (or, failing, removed by the writer), and no further one starts.
// System calls restart, so a write is never cut short by the signal itself.
void catchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// ---- messages ----

// Messages for people, in the user's language where it has a translation.
// The result lines and journals are for programs and stay as they are.
QString tr(const char *text)
{
    return QCoreApplication::translate("Cli", text);
}

void say(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int usageError(const QString &message)
{
    say(stderr, tr("tarvelo-cli: %1\nTry 'tarvelo-cli --help' for more.\n").arg(message));
    return UsageError;
}

// Qt's own warnings (fonts, platform plug-in) have no place among the
// program's output lines.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

// ---- the progress bar on a terminal ----

class Progress
{
public:
    explicit Progress(int total)
        : shown(::isatty(STDERR_FILENO) == 1)
        , total(total)
    {
        clock.start();
    }

    void update(int done, qint64 pixels)
    {
        if (!shown || (clock.elapsed() - lastShown < 100 && done < total))
            return;
        lastShown = clock.elapsed();
        const double seconds = qMax(clock.elapsed(), qint64(1)) / 1000.0;
        const int width = 24;
        const int filled = total > 0 ? int(qint64(width) * done / total) : width;
        QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('.'));
        QString line = QStringLiteral("\r%1/%2 [%3] %4 MP/s")
                           .arg(QLocale(QLocale::English).toString(done),
                               QLocale(QLocale::English).toString(total), bar)
                           .arg(pixels / 1e6 / seconds, 0, 'f', 1);
        if (done > 0) {
            const qint64 left = qint64(seconds * (total - done) / done + 0.5);
            line += QStringLiteral(", %1:%2 left")
                        .arg(left / 60)
                        .arg(left % 60, 2, 10, QLatin1Char('0'));
        }
        say(stderr, line + QStringLiteral("\033[K"));
    }

    // Makes room for a line on the terminal; the bar comes back with the
    // next update.
    void clear()
    {
        if (!shown)
            return;
        say(stderr, QStringLiteral("\r\033[K"));
        lastShown = -1000;
    }

    // Before a result line: only when the lines go to the same terminal.
    void clearForLine()
    {
        if (::isatty(STDOUT_FILENO) == 1)
            clear();
    }

private:
    bool shown;
    int total;
    QElapsedTimer clock;
    qint64 lastShown = -1000;
};

// ---- set-up ----

// The store the run's settings come from: the window's, or the given file.
// Returns an error message, empty on success.
QString openStore(const Request &request, std::unique_ptr<QSettings> *store)
{
    if (request.optionsFile.isEmpty()) {
        *store = std::make_unique<QSettings>(
            QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo"));
        return QString();
    }
    const QFileInfo file(request.optionsFile);
    if (!file.isFile() || !file.isReadable())
        return tr("cannot read the settings file \"%1\"").arg(request.optionsFile);
    *store = std::make_unique<QSettings>(request.optionsFile, QSettings::IniFormat);
    if ((*store)->status() != QSettings::NoError)
        return tr("\"%1\" is not a settings file in INI format").arg(request.optionsFile);
    return QString();
}

// The stored value of `option` as this run takes it: the last --set of it,
// else the store's; invalid when neither has one.
QVariant givenValue(
    const Request &request, const QSettings &store, const StoredOptions::Option &option)
{
    QVariant value;
    for (const auto &override : request.overrides) {
        if (override.first == QLatin1String(option.key))
            value = override.second;
    }
    return value.isValid() ? value : store.value(QLatin1String(option.key));
}

// The options of this run: the stored ones (from the window's store or the
// given file) with the command line's over them, and the logo read. Returns
// an error message, empty on success.
QString runOptions(const Request &request, BatchOptions *options)
{
    std::unique_ptr<QSettings> store;
    const QString unreadable = openStore(request, &store);
    if (!unreadable.isEmpty())
        return unreadable;
    StoredOptions::RunOptions stored = StoredOptions::resolve(
        [&](const StoredOptions::Option &option) { return givenValue(request, *store, option); });
    // A fresh installation would stamp the form's placeholder on every
    // picture: the text must come from somewhere.
    const StoredOptions::Option &text = *StoredOptions::find(QStringLiteral("wtrmark_edit"));
    if (request.optionsFile.isEmpty() && !givenValue(request, *store, text).isValid())
        return tr("no watermark text is set, and tarvelo-cli will not stamp the first-run "
                  "placeholder \"%1\" on your pictures. Give the text with --set "
                  "wtrmark_edit=\"(c) Your Name\" (--set wtrmark_edit= for none), or type it "
                  "in the Tarvelo window, which saves its options for tarvelo-cli when it starts "
                  "a run or closes")
            .arg(text.fallback.toString());
    if (!request.format.isEmpty())
        stored.suffix = request.format;
    const QString unusable = OutputNames::patternProblem(stored.namePattern);
    if (!unusable.isEmpty())
        return unusable;
    if (request.jpgQuality >= 0)
        stored.jpgQuality = request.jpgQuality;
    *options = batchOptionsFrom(stored);
    options->keepMetadata = !request.stripMetadata;
    options->stripLocation = request.stripLocation || stored.stripLocation;
    options->workers = request.jobs;

    // The options must name the same font on every machine to stamp alike.
    const QString substitute = StoredOptions::substituteFamily(options->font);
    if (!substitute.isEmpty())
        say(stderr,
            tr("tarvelo-cli: the font \"%1\" is not installed; \"%2\" is used instead\n")
                .arg(options->font.family(), substitute));

    // The window asks before it stamps without the logo it was given; with
    // nobody to ask, a logo that cannot be read stops the run.
    if (!stored.logoFileName.isEmpty()) {
        PictureIO::ReadLimits limits;
        limits.maxPixels = PictureIO::ReadLimits::pixelCap(stored.maxMegapixels);
        const LogoFile::Loaded loaded = LogoFile::load(stored.logoFileName, limits);
        if (loaded.logo.isNull())
            return tr("the logo \"%1\" cannot be read (%2); "
                      "--set logo_file_name= stamps without a logo")
                .arg(stored.logoFileName,
                    DrawingReasons::translated(
                        BatchLog::refusal(loaded.read, QFileInfo(stored.logoFileName).fileName())));
        options->logo = loaded.logo;
    }
    return QString();
}

QByteArray readAll(FILE *in)
{
    QByteArray all;
    char chunk[65536];
    size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        all.append(chunk, int(count));
    return all;
}

// A list of lines that holds a NUL byte is find -print0's output read
// without --null: its first name would swallow all the others.
QStringList readPathList(FILE *in, bool nullSeparated, QString *problem)
{
    const QByteArray all = readAll(in);
    QStringList paths;
    if (!nullSeparated && all.contains('\0')) {
        *problem = tr("the list holds NUL bytes: use --null");
        return paths;
    }
    for (QByteArray line : all.split(nullSeparated ? '\0' : '\n')) {
        if (!nullSeparated && line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            paths << QFile::decodeName(line);
    }
    return paths;
}

// The sources that result lines or journal records in `files` name as
// failed and never as stamped, in the order first named.
QStringList readRetries(const QStringList &files, FILE *in, QString *problem)
{
    QStringList failed;
    QSet<QString> stamped, seen;
    for (const QString &name : files) {
        QByteArray all;
        if (name == QLatin1String("-")) {
            all = readAll(in);
        } else {
            QFile file(name);
            if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly)) {
                *problem = tr("cannot read \"%1\" for --retry").arg(name);
                return QStringList();
            }
            all = file.readAll();
        }
        bool records = false;
        for (const QByteArray &line : all.split('\n')) {
            const Records::Record record = Records::parse(line);
            const QString source = QDir::cleanPath(record.fields.value(0));
            records = records || !record.fields.isEmpty();
            if (record.fields.size() < 2 || source.isEmpty())
                continue;
            if (record.kind == "ok")
                stamped.insert(source);
            else if (record.kind == "failed" && !seen.contains(source))
                failed << source;
            seen.insert(source);
        }
        // A plain list of names given by mistake would retry nothing, silently.
        if (!records && !all.trimmed().isEmpty()) {
            const QString shown = name == QLatin1String("-")
                ? tr("standard input")
                : QLatin1Char('"') + name + QLatin1Char('"');
            *problem = shown + tr(" holds neither result lines nor journal records");
            return QStringList();
        }
    }
    QStringList retries;
    for (const QString &source : failed) {
        if (!stamped.contains(source))
            retries << source;
    }
    return retries;
}

// The journal's publishing of a stamped picture at its place, whose
// folders are made first.
OutputFiles::WriteResult publish(Journal &journal, const QString &source, const BatchResult &result,
    const QString &folder, const OutputNames::Place &place, QString *journalError)
{
    OutputFiles::WriteResult failed;
    const QString into = BatchRunner::placeFolder(source, folder, place, &failed.errorText);
    if (into.isEmpty())
        return failed;
    return journal.publish(source, result.bytes, into, place.name, result.suffix, journalError);
}

} // namespace

QList<Input> collectInputs(const Request &request, FILE *in, QString *problem)
{
    QList<Input> inputs;
    const auto add = [&](const QString &path) {
        const QFileInfo info(path);
        if (info.isDir()) {
            PicturePaths::walk(path, [&](const QString &picture) {
                inputs.append({ picture, QString(), path });
                return true;
            });
        } else if (info.exists() && !PicturePaths::listable(path)) {
            inputs.append({ path,
                QStringLiteral("not a picture Tarvelo stamps: its suffix is none of %1")
                    .arg(PicturePaths::suffixes().join(QStringLiteral(", "))),
                QString() });
        } else {
            inputs.append({ path, QString(), QString() });
        }
    };
    QStringList paths = request.paths;
    if (request.retry) {
        paths.removeDuplicates(); // standard input is read once
        paths = readRetries(paths, in, problem);
    }
    bool stdinRead = false;
    for (const QString &path : paths) {
        if (path != QLatin1String("-") || request.retry) {
            add(path);
        } else if (!stdinRead) {
            stdinRead = true;
            for (const QString &listed : readPathList(in, request.nullSeparated, problem))
                add(listed);
        }
    }
    return problem->isEmpty() ? inputs : QList<Input>();
}

QString summary(int stamped, int failed, double seconds)
{
    const QLocale english(QLocale::English);
    return QStringLiteral("%1 stamped, %2 failed in %3 s")
        .arg(
            english.toString(stamped), english.toString(failed), english.toString(seconds, 'f', 1));
}

int listSettings(const Request &request)
{
    std::unique_ptr<QSettings> store;
    const QString unreadable = openStore(request, &store);
    if (!unreadable.isEmpty())
        return usageError(unreadable);
    QByteArray lines;
    for (const StoredOptions::Option &option : StoredOptions::all()) {
        const QVariant given = givenValue(request, *store, option);
        const QVariant value
            = StoredOptions::settled(option, given.isValid() ? given : option.fallback);
        lines += Records::line(option.key,
            { StoredOptions::typeText(option),
                StoredOptions::toText(option, StoredOptions::settled(option, option.fallback)),
                StoredOptions::toText(option, value),
                QCoreApplication::translate("StoredOptions", option.meaning) });
    }
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stdout);
    return AllStamped;
}

int run(const Request &request)
{
    QElapsedTimer clock;
    clock.start();
    // The decoders' parent loads its readers while this process loads its
    // own and the options: the first picture need not wait for both.
    DecoderParent::startEarly();

    BatchOptions options;
    const QString problem = runOptions(request, &options);
    if (!problem.isEmpty())
        return usageError(problem);
    const QFileInfo outputInfo(request.output);
    if (!outputInfo.isDir())
        return usageError(
            tr("the output folder \"%1\" %2")
                .arg(request.output,
                    outputInfo.exists() ? tr("is not a folder") : tr("does not exist")));
    // Found out before the first picture, not picture by picture.
    const QString unwritable = OutputFiles::unwritableReason(request.output);
    if (!unwritable.isEmpty())
        return usageError(
            tr("the output folder \"%1\" cannot be written: %2").arg(request.output, unwritable));
    const QString folder = QDir::cleanPath(request.output);

    QString listProblem;
    const QList<Input> inputs = collectInputs(request, stdin, &listProblem);
    if (!listProblem.isEmpty())
        return usageError(listProblem);
    // The subfolders the pictures are kept in are checked as the output
    // folder is.
    if (options.keepTree) {
        QStringList places;
        for (const Input &input : inputs) {
            QString refused;
            places << OutputNames::keptFolder(input.root, input.path, &refused);
        }
        QString subfolder;
        const QString reason = OutputFiles::unwritableReason(folder, places, &subfolder);
        if (!reason.isEmpty())
            return usageError(
                tr("the output folder \"%1\" cannot be written: %2").arg(subfolder, reason));
    }
    catchStopSignals();

    // With a journal, what an earlier run of the same shard did is finished
    // first and left out: the shard may be run again any number of times.
    std::unique_ptr<Journal> journal;
    QString journalError;
    if (!request.journal.isEmpty()) {
        journal = Journal::open(request.journal, stopRequested, &journalError);
        if (!journal)
            return stopRequested ? int(Interrupted) : usageError(journalError);
        if (!journal->recover(folder, &journalError)) {
            say(stderr, QStringLiteral("tarvelo-cli: %1\n").arg(journalError));
            return SomeFailed;
        }
    }
    const auto earlierOutput = [&](const Input &input) {
        return journal ? journal->stampedOutput(input.path) : QString();
    };

    // Said once, before the pictures, not once for each of them.
    const QStringList unknown
        = options.textFields ? Fields::unknown(options.stamp.watermarkText) : QStringList();
    if (!unknown.isEmpty())
        say(stderr,
            QStringLiteral("tarvelo-cli: ") + BatchLog::unknownFields(unknown) + QLatin1Char('\n'));
    BatchRunner runner(options);
    // Every picture is queued at once; the runner holds only a few of them
    // in memory at a time, and the results come back in this order. Each is
    // numbered by its place in the list, whether or not an earlier run
    // stamped some of them already.
    QVector<int> tickets;
    for (int i = 0; i < inputs.size(); ++i)
        tickets << (inputs[i].refusal.isEmpty() && earlierOutput(inputs[i]).isEmpty()
                ? runner.submit(inputs[i].path, i + 1)
                : -1);

    Progress progress(inputs.size());
    int stamped = 0, failed = 0, before = 0;
    qint64 pixels = 0;
    for (int i = 0; i < inputs.size() && !stopRequested; ++i) {
        QString failure = inputs[i].refusal;
        // Stamped by an earlier run, or listed twice and stamped just now.
        QString written = earlierOutput(inputs[i]);
        if (!written.isEmpty()) {
            if (tickets[i] >= 0)
                runner.cancel(tickets[i]);
            failure.clear();
            ++before;
        } else if (failure.isEmpty()) {
            BatchResult result;
            while (!runner.take(tickets[i], result, 100) && !stopRequested) { }
            // Stopped while waiting. Ctrl-C reaches the decoder processes
            // too, so a picture that failed just now was interrupted rather
            // than refused: it is left among the ones not stamped.
            if (result.ticket != tickets[i]
                || (stopRequested && result.status != BatchResult::Status::Stamped))
                break;
            if (result.size.isValid())
                pixels += qint64(result.size.width()) * result.size.height();
            failure = result.failure;
            const OutputNames::Place place
                = OutputNames::place(options, inputs[i].root, inputs[i].path, result.values);
            if (result.status == BatchResult::Status::Stamped && !place.refusal.isEmpty()) {
                failure = place.refusal;
            } else if (result.status == BatchResult::Status::Stamped) {
                // The decoder's words among them are escaped as the result
                // lines are: a line each, and nothing a terminal would obey.
                for (const QString &notice : { result.metadataLost, result.outside })
                    if (!notice.isEmpty()) {
                        progress.clear();
                        const QByteArray line = Records::field(notice) + '\n';
                        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
                        std::fflush(stderr);
                    }
                const OutputFiles::WriteResult file = journal
                    ? publish(*journal, inputs[i].path, result, folder, place, &journalError)
                    : BatchRunner::write(result, folder, place);
                failure = file.ok ? QString() : file.errorText;
                written = file.path;
            } else if (failure.isEmpty()) {
                failure = QStringLiteral("Unknown error");
            }
            if (journal && !failure.isEmpty() && journalError.isEmpty())
                journal->recordFailure(inputs[i].path, failure, &journalError);
            ++(failure.isEmpty() ? stamped : failed);
        } else {
            if (journal)
                journal->recordFailure(inputs[i].path, failure, &journalError);
            ++failed;
        }
        progress.clearForLine();
        const QByteArray line = failure.isEmpty()
            ? Records::line("ok", { inputs[i].path, written })
            : Records::line("failed", { inputs[i].path, failure });
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
        progress.update(stamped + failed + before, pixels);
        // Without its journal a run would stamp pictures that a rerun
        // cannot tell from the ones still to do.
        if (!journalError.isEmpty())
            break;
    }
    progress.clear();

    QString closing = summary(stamped, failed, clock.elapsed() / 1000.0);
    if (before > 0)
        closing += QStringLiteral("; %1 stamped before, by the journal")
                       .arg(QLocale(QLocale::English).toString(before));
    const int left = inputs.size() - stamped - failed - before;
    const bool interrupted = stopRequested && left > 0;
    if (!journalError.isEmpty())
        closing += QStringLiteral("; stopped, %1 not stamped: %2")
                       .arg(QLocale(QLocale::English).toString(left), journalError);
    else if (interrupted)
        closing += QStringLiteral("; interrupted, %1 not stamped")
                       .arg(QLocale(QLocale::English).toString(left));
    say(stderr, closing + QLatin1Char('\n'));
    if (interrupted) {
        // The workers may be deep in a large picture, which can take seconds
        // to finish. What they hold never reaches the disk (files are
        // written here, and the last one is complete), so leave at once
        // instead of waiting for them.
        std::fflush(stdout);
        std::_Exit(Interrupted);
    }
    return failed > 0 || !journalError.isEmpty() ? SomeFailed : AllStamped;
}

int main(int argc, char *argv[])
{
    // No display is needed or wanted: the offscreen platform still has the
    // fonts (through fontconfig), which is all the stamping takes.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    QGuiApplication app(argc, argv);
    // Only the messages for people (with the warning about unknown fields
    // and why a drawing cannot be a logo); the shared batch code's texts go
    // into the result lines and journals, which stay in English.
    Translation::install(&app,
        { QStringLiteral("Cli"), QStringLiteral("StoredOptions"), QStringLiteral("Fields"),
            QStringLiteral("DrawingReasons") });

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const Parsed parsed = parse(arguments);
    switch (parsed.outcome) {
    case Parsed::Outcome::Help:
    case Parsed::Outcome::Version:
        say(stdout, parsed.message);
        return AllStamped;
    case Parsed::Outcome::Usage:
        return usageError(parsed.message);
    case Parsed::Outcome::ListSettings:
        return listSettings(parsed.request);
    case Parsed::Outcome::Run:
        break;
    }
    return run(parsed.request);
}

} // namespace Cli
