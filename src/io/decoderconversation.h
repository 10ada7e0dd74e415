// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

#include "common/metadatapieces.h"
#include "common/picturefields.h"
#include "io/picturebuffers.h"

// The program's conversation with one decoder: pictures are decoded by
// tarvelo-decoder, never in the program's own process, so that a reader
// that crashes, runs wild or eats memory costs one picture, not the run.
// Every picture gets a decoder process of its own, started by the one
// tarvelo-decoder kept loaded (io/decoderparent.h); none ever sees another
// picture. This side sends the request, hears the decoder's reply and its
// parent's reports, and believes nothing of the reply it cannot check. Any
// thread may decode at any time.
namespace DecoderConversation {

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
    QByteArray metadata; // with `metadata`: the file's, packed (common/metadatapieces.h)
    PictureFields fields; // with `fields`: what its metadata says for a text's fields
    QSize drawing; // a drawing: its own size
};

// What a picture may be, checked on both sides: the decoder refuses a header
// that claims more, and this side believes no reply that gives more.
struct Limits
{
    qint64 budgetBytes = 0; // its working set must fit (common/budget.h)
    qint64 maxPixels = 0; // its pixel cap
    QSize claimed; // the size the file's header claims, when read here; else invalid
};

// Decodes the picture file open at `fd` with the reader `reader` ("jpeg")
// within `limits`, into a buffer of `buffers`. The decoder process gets a
// fixed address space derived from the pixel cap. With `metadata`, the
// decoder also reads the file's metadata when the picture decoded, and
// writes it for the output it describes (it crashing there fails the
// picture like any other crash of it). A reply that breaks the protocol or
// the limits costs the picture ("the decoder sent a malformed reply") and
// its memory, which is never used again. With a `fit` box, the picture is
// wanted only to be resized to it afterwards (keeping its proportions
// inside it or stretched to it), and may come smaller than the file's,
// never smaller than the resize makes it; `full` then says the file's size.
// With `fields`, the decoder reads what the file's metadata says for the
// fields of a text as well. A drawing (reader "svg") is rendered at
// `render`, or at its own size fitted into PictureFormats::DrawingLookSide
// when that is empty.
Result decode(int fd, const QByteArray &reader, const Limits &limits, const PictureBuffers &buffers,
    const std::optional<Metadata::Wanted> &metadata = std::nullopt, QSize fit = QSize(),
    bool keepAspectRatio = true, bool fields = false, QSize render = QSize());

// Makes every decoder try to signal the process `pid` (its own for -1) once
// it is fenced in, as a decoder taken over by a file would; 0 for none.
// For the test that shows it cannot.
void setSignalTargetForTesting(int pid);

} // namespace DecoderConversation
