// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <sys/types.h>

#include "common/decoderprotocol.h"

// tarvelo-decoder as this program runs it: the one parent of the decoders,
// started when the first picture needs it and again whenever it has gone.
// It is asked for a decoder over its socket, and answers for each on that
// decoder's own report socket (common/decoderprotocol.h), so that no thread
// ever reads what is meant for another. Any thread may use it.
namespace DecoderParent {

// Asks for a decoder with the limits of `start` (its address space on top
// of what the parent holds, as it starts out as its copy, sized from the
// pixel cap `maxPixels`) for the picture whose sockets these are; false,
// saying why, when no parent could be started or none takes the request.
// `by`: the parent asked.
bool start(DecoderProtocol::Start start, qint64 maxPixels, int picture, int report, pid_t &by,
    QString &why);

// Starts the parent now when none is running, without waiting for it: it
// loads every reader before it takes a request, which a program about to
// read pictures can let happen while it gets ready itself.
void startEarly();

// The parent `pid` (or whichever there is, for -1) goes, unless it went
// already: it ended or misbehaved. The next start() starts a new one.
void drop(pid_t pid = -1);

// Where tarvelo-decoder is: next to the running program, in the install's
// libexec folder, or where the build put it. Empty when none is there.
QString path();

// Makes start() run `path` instead of tarvelo-decoder; empty for the real
// one again. For tests that need a decoder that misbehaves; the parent
// already running is let go.
void setPathForTesting(const QString &path);

} // namespace DecoderParent
