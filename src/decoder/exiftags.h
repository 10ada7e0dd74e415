// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exiv2/exiv2.hpp>

#include <mutex>

// What the decoder's metadata reader needs to know about Exiv2: how it is
// readied for threads, and which EXIF tags never travel from a source to
// its stamped copy.
namespace ExifTags {

// The XMP toolkit under Exiv2 needs a lock to be used from several threads;
// Exiv2's own log goes nowhere (a problem surfaces as an exception instead).
inline void prepareExiv2()
{
    static std::once_flag once;
    std::call_once(once, []() {
        static std::recursive_mutex xmpLock;
        Exiv2::XmpParser::initialize(
            [](void *lock, bool locking) {
                auto *mutex = static_cast<std::recursive_mutex *>(lock);
                if (locking)
                    mutex->lock();
                else
                    mutex->unlock();
            },
            &xmpLock);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // Where a JPEG's XMP packet names its extension.
        Exiv2::XmpProperties::registerNs("http://ns.adobe.com/xmp/note/", "xmpNote");
    });
}

// Image-structure tags of the first directory: they describe the source's
// own pixel data and would lie about any other file's.
inline bool structureTag(const Exiv2::Exifdatum &datum)
{
    if (datum.groupName() != "Image")
        return false;
    switch (datum.tag()) {
    case 0x00fe:
    case 0x00ff:
    case 0x0100:
    case 0x0101:
    case 0x0102:
    case 0x0103:
    case 0x0106:
    case 0x010a:
    case 0x0111:
    case 0x0115:
    case 0x0116:
    case 0x0117:
    case 0x011c:
    case 0x013d:
    case 0x0140:
    case 0x0142:
    case 0x0143:
    case 0x0144:
    case 0x0145:
    case 0x014a:
    case 0x0152:
    case 0x0153:
    case 0x015b:
    case 0x0201:
    case 0x0202:
    case 0x0211:
    case 0x0212:
    case 0x8773:
        return true;
    default:
        return false;
    }
}

inline bool resolutionTag(const Exiv2::Exifdatum &datum)
{
    return datum.groupName() == "Image"
        && (datum.tag() == 0x011a || datum.tag() == 0x011b || datum.tag() == 0x0128);
}

// Embedded pictures: the EXIF thumbnail, the preview images of raw files and
// maker notes. They show the picture as it was, without its stamp.
inline bool previewTag(const Exiv2::Exifdatum &datum)
{
    const std::string group = datum.groupName();
    const std::string tag = datum.tagName();
    return group == "Thumbnail" || group.rfind("SubImage", 0) == 0
        || (group.rfind("Image", 0) == 0 && group != "Image")
        || group.find("Preview") != std::string::npos || group.find("Thumb") != std::string::npos
        || tag.find("Preview") != std::string::npos || tag.find("Thumbnail") != std::string::npos
        || tag == "JpgFromRaw";
}

} // namespace ExifTags
