// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// The structure of an ICC colour profile, checked the one way both sides of
// the decoder boundary check it: the decoder before it hands a source's
// profile over, the program before it embeds what it was handed. Whether a
// viewer supports the profile's kind is the viewer's business; whether its
// header and tag table hold together is this check's.
namespace IccProfile {

// Why `profile` would mislead the readers of a file it were embedded in:
// the size it states is not its size, it lacks the profile signature, its
// class or colour spaces are none the format knows, its tag table or a tag
// lies outside it. Empty when its structure holds together.
QString fault(const QByteArray &profile);

// The colour space of the pixels it describes: "RGB ", "GRAY", "CMYK", ...
inline QByteArray colourSpace(const QByteArray &profile)
{
    return profile.mid(16, 4);
}

} // namespace IccProfile
