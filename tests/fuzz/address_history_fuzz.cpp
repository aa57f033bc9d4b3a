// The address history file. The input is the file. Parse, write, parse again: the same entries,
// both with the file functions alone and through the send window, which loads the file into its
// address box at creation and writes the box's list back at the end.
#include "tests/fuzz/fuzz_check.h"

#include "app/app_state.h"
#include "messaging/address_history.h"
#include "messaging/send_window.h"
#include "platform/cp1251.h"
#include "tests/support/fake_platform.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startApplication();
    new platform::FakePlatform; // boxes, sounds and the rest: recorded, never shown
    const QString folder = fuzz::scratchFolder();
    App().AddressListPath = folder + QStringLiteral("Adrs.ini");
    App().SettingsPath = folder + QStringLiteral("Pellavine.ini");
    new TSenderF;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList entries = addresses::parseLines(bytes);
    for (const QString& entry : entries)
        FUZZ_CHECK(!entry.contains(u'\r') && !entry.contains(u'\n') && !entry.contains(QChar(0)), entry);

    const QByteArray formatted = addresses::formatLines(entries);
    FUZZ_CHECK(addresses::parseLines(formatted) == entries, fuzz::joined(addresses::parseLines(formatted)), fuzz::joined(entries));
    FUZZ_CHECK(addresses::formatLines(addresses::parseLines(formatted)) == formatted);

    const QString path = App().AddressListPath;
    fuzz::writeFile(path, bytes);
    try {
        SenderF->FormCreate();
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, QString::fromUtf8(e.what()));
    }
    FUZZ_CHECK(SenderF->addresses() == entries, fuzz::joined(SenderF->addresses()), fuzz::joined(entries));
    try {
        SenderF->FormDestroy();
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, QString::fromUtf8(e.what()));
    }
    const QStringList again = addresses::parseLines(fuzz::readFile(path));
    FUZZ_CHECK(again == entries, fuzz::joined(again), fuzz::joined(entries));
    return 0;
}
