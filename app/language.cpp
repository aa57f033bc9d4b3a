#include "app/language.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

const QString QmPrefix = QStringLiteral("pellavine_");

QString g_language = SourceLanguage;
std::unique_ptr<QTranslator> g_programTranslator;
std::unique_ptr<QTranslator> g_qtTranslator;

// "en_US.UTF-8@euro" is "en_US".
QString localeName(const QString& value)
{
    return value.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('.'), 0, 0);
}

bool isCLocale(const QString& name)
{
    return name == QLatin1String("C") || name == QLatin1String("POSIX");
}

// The translation, or the source language, that one name from the environment stands for;
// empty when the program has neither.
QString languageFor(const QString& value, const QStringList& translated)
{
    const QString name = localeName(value);
    if (isCLocale(name))
        return SourceLanguage;
    const QString language = name.section(QLatin1Char('_'), 0, 0);
    if (language.isEmpty())
        return QString();
    if (language == SourceLanguage)
        return SourceLanguage;
    if (translated.contains(name))
        return name;
    if (translated.contains(language))
        return language;
    return QString();
}

void removeTranslator(std::unique_ptr<QTranslator>& translator)
{
    if (translator)
        QCoreApplication::removeTranslator(translator.get());
    translator.reset();
}

} // namespace

LocaleEnvironment LocaleEnvironment::current()
{
    return {qEnvironmentVariable("LANGUAGE"), qEnvironmentVariable("LC_ALL"), qEnvironmentVariable("LC_MESSAGES"),
            qEnvironmentVariable("LANG")};
}

QString chooseLanguage(const LocaleEnvironment& environment, const QStringList& translated)
{
    QString locale = environment.all;
    if (locale.isEmpty())
        locale = environment.messages;
    if (locale.isEmpty())
        locale = environment.lang;
    if (locale.isEmpty() || isCLocale(localeName(locale)))
        return SourceLanguage;
    // As in gettext, a LANGUAGE list replaces the locale: when none of its languages is there,
    // the texts stay as written.
    if (!environment.language.isEmpty()) {
        for (const QString& entry : environment.language.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
            const QString language = languageFor(entry, translated);
            if (!language.isEmpty())
                return language;
        }
        return SourceLanguage;
    }
    const QString language = languageFor(locale, translated);
    return language.isEmpty() ? SourceLanguage : language;
}

QString installTranslations(const QString& directory)
{
    removeTranslator(g_programTranslator);
    removeTranslator(g_qtTranslator);
    g_language = SourceLanguage;

    QStringList translated;
    const QStringList files =
        QDir(directory).entryList({QmPrefix + QStringLiteral("*.qm")}, QDir::Files | QDir::Readable);
    for (const QString& file : files)
        translated << file.mid(QmPrefix.size()).chopped(3);
    const QString language = chooseLanguage(LocaleEnvironment::current(), translated);
    if (language == SourceLanguage)
        return g_language;

    auto program = std::make_unique<QTranslator>();
    // A damaged file leaves the texts as written.
    if (!program->load(QDir(directory).filePath(QmPrefix + language + QStringLiteral(".qm"))))
        return g_language;
    QCoreApplication::installTranslator(program.get());
    g_programTranslator = std::move(program);
    g_language = language;

    // The buttons of Qt's own boxes (Yes, No) in the same language. Not for the source language:
    // there the boxes keep Qt's English, as they always had.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        g_qtTranslator = std::move(qt);
    }
    return g_language;
}

QString interfaceLanguage()
{
    return g_language;
}

QString localizedDocument(const QString& directory, const QString& fileName)
{
    if (g_language != SourceLanguage) {
        const QString base = fileName.section(QLatin1Char('.'), 0, -2);
        const QString suffix = fileName.section(QLatin1Char('.'), -1);
        const QStringList languages = {g_language, g_language.section(QLatin1Char('_'), 0, 0)};
        for (const QString& language : languages) {
            const QString path = directory + base + QLatin1Char('.') + language + QLatin1Char('.') + suffix;
            if (QFileInfo::exists(path))
                return path;
        }
    }
    return directory + fileName;
}
