// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class QCoreApplication;

// The program's texts in the user's language, where it has a translation.
namespace Translation {

// The languages the user's messages locale asks for, most wanted first, as
// QLocale::uiLanguages() names them; none when that locale is C or POSIX
// (LC_ALL, LC_MESSAGES or LANG, the first one set), whatever LANGUAGE says,
// as gettext does: a script that runs a program with LC_ALL=C gets the
// program's own English.
QStringList wantedLanguages();

// Installs the program's translation (tarvelo_<language>.qm) and Qt's own
// (qtbase_<language>.qm, for the standard buttons and dialogs) for the
// first of the wanted languages that has one. With `contexts`, only the
// texts of those translation contexts are translated: tarvelo-cli keeps its
// result lines and journals, which come from the shared batch code, in
// English whatever the language. Returns the language installed, or an
// empty string.
QString install(QCoreApplication *application, const QStringList &contexts = {});

} // namespace Translation
