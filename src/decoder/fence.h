// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

// The walls around the decoder process. tarvelo-decoder, started by the
// program, keeps nothing of its caller's world once its readers are loaded
// (descriptors, environment, capabilities, the file system: an empty root
// where the system allows namespaces); each decoder it starts then fences
// itself in with a seccomp filter before it reads a byte of its picture
// (no files, no programs, no network, signals to itself only). The limits
// of its memory and processor time are set by its parent as it starts it
// (decoder/zygote.h).
namespace Fence {

// Takes the socket the program started this process with, at
// DecoderProtocol::SocketFd, and lets go of every other descriptor of the
// caller's, the console and core files; false when the process was not
// started by the program.
bool takeSocket();

// Lets go of the caller's environment (the strings themselves are wiped),
// the file system and every capability. Called once the readers are
// loaded: nothing is found by path afterwards.
void leaveCallersWorld();

// The seccomp filter of one decoder: memory, reading the descriptors it was
// given, threads, time; anything else is refused, and starting a program
// ends the process.
void fenceIn();

// Tries to signal `target` as a decoder taken over by a file might: by
// every call that can. (For the test that shows it cannot.)
void trySignal(pid_t target);

} // namespace Fence
