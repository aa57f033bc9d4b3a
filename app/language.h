#pragma once
// The language of the interface. Every text is written in Russian, the source language; a
// translation beside the program (pellavine_<language>.qm) replaces it when the session's locale
// asks for that language, and nothing else does.
#include <QString>
#include <QStringList>

inline const QString SourceLanguage = QStringLiteral("ru");

// The variables the C library's gettext reads, as they are set (unset reads as empty).
struct LocaleEnvironment {
    QString language; // LANGUAGE: a list of languages, by preference, separated by ':'
    QString all;      // LC_ALL
    QString messages; // LC_MESSAGES
    QString lang;     // LANG

    static LocaleEnvironment current();
};

// The language to show, chosen as gettext chooses a catalogue: the locale is the first of LC_ALL,
// LC_MESSAGES and LANG that is set; under C or POSIX (or nothing set) the source language;
// otherwise LANGUAGE's list when it is set, else the locale's language. A name counts when it is
// one of `translated` ("pt_BR"), or its language is ("pt" for "pt_BR.UTF-8"). Returns the
// translation's name, or SourceLanguage when none fits.
QString chooseLanguage(const LocaleEnvironment& environment, const QStringList& translated);

// Chooses the language for this session from the translations in `directory` (the program's own
// folder) and installs it, with Qt's own translation for the standard boxes where Debian ships
// one. Replaces what an earlier call installed. Returns the language in use.
QString installTranslations(const QString& directory);

// The language installTranslations() put in use; SourceLanguage before.
QString interfaceLanguage();

// A document of the program in the interface's language: for "help.htm", "help.en.htm" when
// that exists in `directory` (which ends in '/'), else "help.htm" itself.
QString localizedDocument(const QString& directory, const QString& fileName);
