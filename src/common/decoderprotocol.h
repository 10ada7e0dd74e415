// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <initializer_list>
#include <type_traits>

// What the program and its decoder processes (tarvelo-decoder) say to each
// other, and the one way each message is sent and received. tarvelo-decoder,
// started once, loads its readers and then only starts decoders: for every
// picture the program sends it a Start over their socket, with two new
// sockets, the picture's and the report's; it forks a decoder that gets the
// picture's socket (at SocketFd, nothing else of its parent's), sets the
// Start's limits, fences itself in and serves one Request on it, and it says
// on the report socket when that decoder started and how it ended (Report).
//
// Request: a Request, with two descriptors: the picture file, opened by the
// program, and a memfd for the reply, sized by the program and sealed
// against any change of size; cleared, never holding an earlier picture.
// Reply: a Reply. The pixels lie at offset 0, the details (error text,
// colour table, resolution, the picture's texts, the file's metadata made
// ready for the output and what it says for the fields of a text, each when
// asked for) follow at Reply::detailsOffset, written and
// read by common/decoderreply.h.
//
// The messages are plain structs of fixed layout, laid out without a single
// padding byte: nothing of either side's memory goes over besides the
// fields, and the checks below hold the layout still.
namespace DecoderProtocol {

constexpr int SocketFd = 3; // where the decoder finds its end of the pair
constexpr quint32 Magic = 0x54617276; // "Tarv"

struct Request
{
    quint32 magic = Magic;
    qint32 metadata = 0; // 1: read the file's metadata too, after its pixels
    qint64 budgetBytes = 0; // the working set a picture may need
    qint64 maxPixels = 0; // the most pixels the picture may have
    char reader[16] = {}; // the toolkit's reader to use, "jpeg"
    // With `metadata`, for a picture that will be stamped: the format its
    // output is written in ("jpg", "png", "tif" or "webp"), for which the
    // decoder writes the source's metadata ready to be put in as it is;
    // whether the metadata is kept at all (else only the resolution goes
    // over) and without the location; and the resize that makes the
    // output's size from the picture's (common/resizerule.h).
    char outputFormat[8] = {};
    qint32 keepMetadata = 1;
    qint32 withoutLocation = 0;
    qint32 resize = 0;
    qint32 resizeWidth = 0;
    qint32 resizeHeight = 0;
    qint32 resizeKeepsAspect = 0;
    qint32 resizeShrinksOnly = 0;
    // A box the picture is wanted for only to be resized to (0 x 0: the
    // whole picture): the decoder may then give it smaller, never smaller
    // than the resize makes the whole picture. 1: the resize keeps the
    // proportions inside the box, 0: it stretches to it.
    qint32 fitWidth = 0;
    qint32 fitHeight = 0;
    qint32 fitKeepsAspect = 1;
    // 1: read what the file's metadata says for the fields of a text
    // (common/picturefields.h), after its pixels.
    qint32 fields = 0;
    // A drawing (reader "svg"): the size to render it at, in pixels; 0 x 0
    // for its own size fitted into PictureFormats::DrawingLookSide.
    qint32 renderWidth = 0;
    qint32 renderHeight = 0;
    // Nothing yet: the Request ends on a whole 8 bytes, without padding.
    qint32 unused = 0;
};

enum class Outcome : qint32 {
    Decoded,
    TooLarge,
    Damaged, // data missing or corrupt; what is wrong is the error text
    Failed, // the reader gave up; its words are in the details
};

struct Reply
{
    quint32 magic = Magic;
    Outcome outcome = Outcome::Failed;
    qint32 width = -1; // the decoded or claimed size
    qint32 height = -1;
    qint32 bytesPerLine = 0;
    qint32 format = 0; // QImage::Format
    qint64 detailsOffset = 0;
    qint64 detailsBytes = 0;
    qint32 fullWidth = -1; // decoded smaller for a fit: the whole picture's size
    qint32 fullHeight = -1;
    qint32 drawingWidth = -1; // a drawing: its own size, whatever size it was rendered at
    qint32 drawingHeight = -1;
};

// The most details the program takes.
constexpr qint64 DetailsRoom = 16LL * 1024 * 1024;

// The most the details say besides the colour table and the metadata, in
// characters: the error text, and the picture's texts (a PNG's tEXt
// chunks), which the decoder cuts down to this so that however much text a
// file holds, the colour table and the metadata still fit.
constexpr int MaxErrorText = 4096;
constexpr quint32 MaxTexts = 64;
constexpr int MaxTextKey = 80;
constexpr int MaxTextChars = 256 * 1024; // all values together

// What the program asks tarvelo-decoder for every picture, with the
// picture's socket and the report's (SCM_RIGHTS, in that order).
constexpr quint32 StartMagic = 0x54617273; // "Tars"

struct Start
{
    quint32 magic = StartMagic;
    qint32 cpuSeconds = 0; // its processor time; the hard limit is a second more
    qint64 addressSpace = 0; // the decoder's address space limit, in bytes
    // Never set by the program: a process that the decoder tries to signal
    // once it is fenced in, to show that it cannot.
    qint32 signalTarget = 0;
    qint32 unused = 0; // holds the place a padding byte would take
};

// What tarvelo-decoder says about the decoder it started for a picture, on
// that picture's report socket: Started, then Ended; or only Refused.
constexpr quint32 ReportMagic = 0x54617265; // "Tare"

struct Report
{
    enum Kind : qint32 { Started, Ended, Refused };
    quint32 magic = ReportMagic;
    Kind kind = Refused;
    qint32 pid = 0; // the decoder's process id
    qint32 status = 0; // Ended: its wait status; Refused: why (errno)
    qint64 cpuMilliseconds = 0; // Ended: the processor time it used
};

// The layouts both sides were built with, and no padding in them.
static_assert(sizeof(Request) == 104 && offsetof(Request, budgetBytes) == 8
        && offsetof(Request, reader) == 24 && offsetof(Request, outputFormat) == 40
        && offsetof(Request, fitKeepsAspect) == 84 && offsetof(Request, renderHeight) == 96,
    "the Request's layout");
static_assert(sizeof(Reply) == 56 && offsetof(Reply, detailsOffset) == 24
        && offsetof(Reply, fullHeight) == 44 && offsetof(Reply, drawingHeight) == 52,
    "the Reply's layout");
static_assert(sizeof(Start) == 24 && offsetof(Start, addressSpace) == 8
        && offsetof(Start, signalTarget) == 16,
    "the Start's layout");
static_assert(
    sizeof(Report) == 24 && offsetof(Report, cpuMilliseconds) == 16, "the Report's layout");
static_assert(
    std::has_unique_object_representations_v<
        Request> && std::has_unique_object_representations_v<Reply> && std::has_unique_object_representations_v<Start> && std::has_unique_object_representations_v<Report>,
    "no padding bytes go over a socket");

// What came of waiting for one message.
enum class Received {
    Message, // the message, whole and with its magic
    Malformed, // something else came
    Gone, // the other side has closed its end (or failed)
    Nothing, // nothing yet (a socket read without waiting)
};

// Sends a message with descriptors on `socket`; false when the peer has
// gone or took nothing for `waitMs` milliseconds.
bool send(int socket, const void *message, size_t size, std::initializer_list<int> fds, int waitMs);

// The program's side: a Start for tarvelo-decoder, with the picture's
// socket and the report's; a Request for a decoder, with the picture file
// and the memory for the reply.
bool sendStart(int socket, const Start &start, int picture, int report, int waitMs);
bool sendRequest(int socket, const Request &request, int file, int memory, int waitMs);
// The reply or report waiting on `socket`, read without waiting.
Received receiveReply(int socket, Reply &reply);
Received receiveReport(int socket, Report &report);

// The decoder's side, on the socket at SocketFd: the next Start or Request
// with its two descriptors (-1 for any not sent); and its answers.
Received receiveStart(Start &start, int &picture, int &report);
Received receiveRequest(Request &request, int &file, int &memory);
bool sendReply(const Reply &reply);
void sendReport(int socket, const Report &report);

} // namespace DecoderProtocol
