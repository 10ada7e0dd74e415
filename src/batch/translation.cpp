// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translation {

namespace {

// Translates only the texts of the contexts given (all when none is).
class ContextTranslator : public QTranslator
{
public:
    ContextTranslator(const QStringList &contexts, QObject *parent)
        : QTranslator(parent)
        , contexts(contexts)
    {
    }

    QString translate(const char *context, const char *sourceText, const char *disambiguation,
        int n) const override
    {
        if (!contexts.isEmpty() && !contexts.contains(QLatin1String(context)))
            return QString();
        return QTranslator::translate(context, sourceText, disambiguation, n);
    }

private:
    QStringList contexts;
};

// Where the .qm files are: beside the program in the build folder, and in
// share/tarvelo/translations of the installation it runs from.
QStringList folders()
{
    const QString bin = QCoreApplication::applicationDirPath();
    return { bin + QStringLiteral("/translations"),
        QDir::cleanPath(bin + QStringLiteral("/../share/tarvelo/translations")) };
}

} // namespace

QStringList wantedLanguages()
{
    QString messages;
    for (const char *variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        messages = qEnvironmentVariable(variable);
        if (!messages.isEmpty())
            break;
    }
    const QString plain = messages.section(QLatin1Char('.'), 0, 0);
    if (plain.isEmpty() || plain == QLatin1String("C") || plain == QLatin1String("POSIX"))
        return {};
    return QLocale::system().uiLanguages();
}

QString install(QCoreApplication *application, const QStringList &contexts)
{
    for (const QString &wanted : wantedLanguages()) {
        const QLocale language(wanted);
        // English is the program's own language.
        if (language.language() == QLocale::English || language.language() == QLocale::C)
            return QString();
        auto *own = new ContextTranslator(contexts, application);
        bool found = false;
        for (const QString &folder : folders()) {
            if (own->load(language, QStringLiteral("tarvelo"), QStringLiteral("_"), folder)) {
                found = true;
                break;
            }
        }
        if (!found) {
            delete own;
            continue;
        }
        QCoreApplication::installTranslator(own);
        // Qt's own texts only where its translations are installed.
        auto *qt = new ContextTranslator(contexts, application);
        if (contexts.isEmpty()
            && qt->load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
        else
            delete qt;
        return language.name();
    }
    return QString();
}

} // namespace Translation
