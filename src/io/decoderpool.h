#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// The program's side of the decoder processes: pictures are decoded by
// tarvelo-decoder, never in the program's own process, so that a reader that
// crashes, runs wild or eats memory costs one picture, not the run. A few
// decoders are kept running and reused; any thread may decode at any time,
// each call gets a decoder of its own.
namespace DecoderPool {

// How long a decoder may work on one picture, in processor seconds and in
// seconds on the clock. A large photo takes a few processor seconds; the
// clock allows for a machine busy with other work (a shared server, several
// runs at once), where a decoder gets a fraction of a core.
constexpr int CpuSeconds = 10;
constexpr int ClockSeconds = 60;

struct Result
{
    enum Kind {
        Decoded,
        TooLarge, // by the size the header claims or by the decoded size
        Damaged, // data missing or corrupt; errorText says what
        Failed, // the reader refused the file; errorText has its words
        DecoderFailed, // crashed, out of time, or not installed: errorText says which
    };
    Kind kind = DecoderFailed;
    QImage image; // in shared memory, ready to use; null unless Decoded
    QSize size; // decoded or claimed, when known
    QSize full; // decoded smaller for `fit`: the whole picture's size (else invalid)
    QString errorText;
    QByteArray metadata; // with `withMetadata`: the file's, as MetadataReader::read() gives it
};

// Decodes the picture file open at `fd` with the reader `reader` ("jpeg").
// The picture's working set must fit `budgetBytes`; the decoder process may
// use about 2.5 times that. With `withMetadata`, the decoder also reads the
// file's metadata when the picture decoded (it crashing there fails the
// picture like any other crash of it). With a `fit` box, the picture is
// wanted only to be resized to it afterwards (keeping its proportions inside
// it or stretched to it), and may come smaller than the file's, never
// smaller than the resize makes it; `full` then says the file's size.
Result decode(int fd, const QByteArray &reader, qint64 budgetBytes, bool withMetadata = false,
    QSize fit = QSize(), bool keepAspectRatio = true);

// Where tarvelo-decoder is: next to the running program, in the install's
// libexec folder, or where the build put it. Empty when none is there.
QString decoderPath();

} // namespace DecoderPool
