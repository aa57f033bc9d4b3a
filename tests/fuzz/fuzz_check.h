#pragma once
// What the harnesses share: a property that does not hold ends the run the way a crash does,
// with the reason, so libFuzzer keeps the input; and the offscreen application some of them need.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

#define FUZZ_CHECK(condition, ...)                                                                  \
    do {                                                                                            \
        if (!(condition))                                                                           \
            fuzz::fail(__FILE__, __LINE__, #condition, fuzz::describe(__VA_ARGS__));                 \
    } while (0)

// Fontconfig's caches, which Qt fills on first use of a font and keeps, are not our leaks.
// (One harness per program, and this header once in it.)
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace fuzz {

inline QString describe() { return QString(); }
inline QString describe(const QString& text) { return text; }
// Both sides of a comparison that failed, with what cannot be printed escaped.
inline QString describe(const QString& actual, const QString& expected)
{
    const auto show = [](const QString& text) {
        QString shown;
        for (const QChar c : text.left(300)) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7e)
                shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                shown += c;
        }
        return shown + (text.size() > 300 ? QStringLiteral("... (%1)").arg(text.size()) : QString());
    };
    return QStringLiteral("\n  actual:   ") + show(actual) + QStringLiteral("\n  expected: ") + show(expected);
}

[[noreturn]] inline void fail(const char* file, int line, const char* condition, const QString& detail)
{
    std::fprintf(stderr, "\n==== property failed at %s:%d: %s%s\n", file, line, condition,
                 detail.isEmpty() ? "" : qPrintable(QLatin1Char(' ') + detail));
    std::fflush(stderr);
    std::abort();
}

// The application object, offscreen; made once and kept to the end of the process.
inline void startApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own notes (fonts, offscreen platform) are not findings and only slow the run down.
    qputenv("QT_LOGGING_RULES", "*.debug=false;qt.*=false");
    new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

// A private folder for the harness's files, in memory where the system has such a place, since
// every input writes files. Removed when the run ends normally.
inline QString scratchFolder()
{
    static std::unique_ptr<QTemporaryDir> folder;
    if (!folder) {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
        folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/pellavine-fuzz-XXXXXX"));
        if (!folder->isValid())
            fail(__FILE__, __LINE__, "scratch folder", folder->errorString());
    }
    return folder->path() + QLatin1Char('/');
}

// The harnesses' own files: written and read whole, a failure ends the run.
inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile out(path);
    FUZZ_CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate), path);
    FUZZ_CHECK(out.write(bytes) == bytes.size(), path);
}

inline QByteArray readFile(const QString& path)
{
    QFile in(path);
    FUZZ_CHECK(in.open(QIODevice::ReadOnly), path);
    return in.readAll();
}

// A list for a failure's description, with its length (empty entries show so).
inline QString joined(const QStringList& entries)
{
    return entries.join(QStringLiteral("|")) + QStringLiteral(" (%1)").arg(entries.size());
}

} // namespace fuzz
