// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Why a drawing (an SVG logo) is not drawn, as the decoder says it and as
// the program shows it. A decoder has no translations to read (it runs in
// an empty root), so it makes these sentences in English, with the
// particulars put in; the program finds the sentence a reason was made from
// and shows it in the user's language with the same particulars.
namespace DrawingReasons {

// The sentences, each marked for translation in the context
// "DrawingReasons". %1 and %2 stand for the particulars.
inline constexpr const char *Outside
    = QT_TRANSLATE_NOOP("DrawingReasons", "it refers to something outside itself (%1)");
inline constexpr const char *EntityBomb
    = QT_TRANSLATE_NOOP("DrawingReasons", "its entities expand to more than %1 characters");
inline constexpr const char *NoDrawing
    = QT_TRANSLATE_NOOP("DrawingReasons", "it holds no SVG drawing");
inline constexpr const char *HoldsText
    = QT_TRANSLATE_NOOP("DrawingReasons", "it holds text, which is drawn only as outlines (paths)");
inline constexpr const char *ForeignPicture = QT_TRANSLATE_NOOP(
    "DrawingReasons", "it holds an embedded picture that is neither PNG nor JPEG");
inline constexpr const char *Malformed
    = QT_TRANSLATE_NOOP("DrawingReasons", "its XML is malformed: %1 (line %2)");
inline constexpr const char *OutOfMemory
    = QT_TRANSLATE_NOOP("DrawingReasons", "the decoder ran out of memory");
inline constexpr const char *UnpacksTooLarge
    = QT_TRANSLATE_NOOP("DrawingReasons", "it unpacks to more than %1 MB");
inline constexpr const char *PackingDamaged
    = QT_TRANSLATE_NOOP("DrawingReasons", "its packed data is damaged");
inline constexpr const char *TooLarge
    = QT_TRANSLATE_NOOP("DrawingReasons", "it is larger than %1 MB");
inline constexpr const char *NoSize = QT_TRANSLATE_NOOP("DrawingReasons", "it states no size");
inline constexpr const char *NotDrawable
    = QT_TRANSLATE_NOOP("DrawingReasons", "QtSvg cannot draw it");
inline constexpr const char *SizeTooLarge
    = QT_TRANSLATE_NOOP("DrawingReasons", "it states a size larger than %1 pixels");
inline constexpr const char *MalformedReply
    = QT_TRANSLATE_NOOP("DrawingReasons", "the decoder sent a malformed reply");
inline constexpr const char *NoMemory = QT_TRANSLATE_NOOP("DrawingReasons", "not enough memory");
// What the program makes of any of them: the file's name, then the reason.
inline constexpr const char *Unreadable
    = QT_TRANSLATE_NOOP("DrawingReasons", "%1 could not be read: %2.");

// `reason`, in the user's language when it was made from one of the
// sentences above (the reason within Unreadable as well); any other text as
// it is.
QString translated(const QString &reason);

} // namespace DrawingReasons
