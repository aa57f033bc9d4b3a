// The black list file. The input is the file. Parse, write, parse again: the same entries, with
// the file functions alone and through the black list window (loaded at creation, written by
// "OK", loaded again). Every entry but an empty one is found by the look-up the receiving end
// uses, in any letter case, at its own place or at an earlier entry equal to it; nothing is
// reported to the user.
#include "tests/fuzz/fuzz_check.h"

#include "app/app_state.h"
#include "platform/cp1251.h"
#include "tests/support/fake_platform.h"
#include "windows/black_list.h"

#include <QListWidget>

#include <cstdint>

namespace {

platform::FakePlatform* g_fake = nullptr;

// The name with every letter in the other case, where that letter is in the code page too (the
// names in the file and on the wire are code page 1251 text).
QString otherCase(const QString& name, bool upper)
{
    QString result = name;
    for (QChar& c : result) {
        const QString changed = upper ? QString(c).toUpper() : QString(c).toLower();
        if (changed.size() == 1 && platform::fromCp1251(platform::toCp1251(changed)) == changed)
            c = changed.front();
    }
    return result;
}

void checkNoBox()
{
    FUZZ_CHECK(g_fake->dialogs.boxes.isEmpty(), g_fake->dialogs.boxes.value(0).text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startApplication();
    g_fake = new platform::FakePlatform;
    App().BlackListPath = fuzz::scratchFolder() + QStringLiteral("BList.ini");
    new TBListF;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList names = TBListF::parseFile(bytes);
    for (const QString& name : names)
        FUZZ_CHECK(!name.contains(u'\r') && !name.contains(u'\n') && !name.contains(QChar(0)), name);
    const QByteArray formatted = TBListF::formatFile(names);
    FUZZ_CHECK(TBListF::parseFile(formatted) == names, fuzz::joined(TBListF::parseFile(formatted)), fuzz::joined(names));

    const QString path = App().BlackListPath;
    fuzz::writeFile(path, bytes);
    BListF->FormCreate();
    checkNoBox();
    FUZZ_CHECK(BListF->names() == names, fuzz::joined(BListF->names()), fuzz::joined(names));

    // A few entries: the look-up is linear, and long lists are not what this is about.
    for (qsizetype i : {qsizetype(0), qsizetype(1), qsizetype(2), names.size() - 1}) {
        // An empty entry (an empty line) is one no sender's name matches.
        if (i < 0 || i >= names.size() || names.at(i).isEmpty())
            continue;
        const QString& name = names.at(i);
        const int found = BListF->indexOfName(name);
        FUZZ_CHECK(found >= 0 && found <= i, QStringLiteral("%1 at %2, found at %3").arg(name).arg(i).arg(found));
        for (const QString& asked : {otherCase(name, true), otherCase(name, false), TBListF::upperName(name)})
            FUZZ_CHECK(BListF->indexOfName(asked) == found,
                       QStringLiteral("%1 found at %2, %3 at %4").arg(name).arg(found).arg(asked).arg(BListF->indexOfName(asked)));
    }

    BListF->BBut1Click();
    checkNoBox();
    FUZZ_CHECK(TBListF::parseFile(fuzz::readFile(path)) == names, fuzz::joined(TBListF::parseFile(fuzz::readFile(path))), fuzz::joined(names));
    BListF->Blist->clear();
    BListF->FormCreate();
    checkNoBox();
    FUZZ_CHECK(BListF->names() == names, fuzz::joined(BListF->names()), fuzz::joined(names));
    return 0;
}
