// What the black list adds to each message: a look-up of one sender's name among N entries, beside
// the raw floor (a hash of the upper-cased names) and a scan that upper-cases every entry.
//   pv_black_list_bench N
// Prints "lookup_us=… floor_us=… scan_us=… build_ms=…" (per look-up; build: the first look-up after
// the list changed).
#include "windows/black_list.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QSet>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = QByteArray(argv[1]).toInt();
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("КОМПЬЮТЕР-%1").arg(i);
    TBListF window;
    window.Blist->addItems(names);
    // Senders not on the list: every look-up goes the whole way.
    QStringList senders;
    for (int i = 0; i < 1000; ++i)
        senders << QStringLiteral("компьютер-x%1").arg(i);

    QElapsedTimer timer;
    timer.start();
    int found = window.indexOfName(senders.first());
    const double buildMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    for (const QString& sender : senders)
        found += window.indexOfName(sender);
    const double lookupUs = timer.nsecsElapsed() / 1e3 / senders.size();

    QSet<QString> floor;
    for (const QString& name : names)
        floor.insert(name.toUpper());
    timer.restart();
    for (const QString& sender : senders)
        found += floor.contains(sender.toUpper()) ? 1 : 0;
    const double floorUs = timer.nsecsElapsed() / 1e3 / senders.size();

    // The look-up before: every entry upper-cased for every message (ten senders are enough).
    timer.restart();
    for (int s = 0; s < 10; ++s) {
        const QString wanted = TBListF::upperName(senders[s]);
        for (int row = 0; row < window.Blist->count(); ++row)
            found += TBListF::upperName(window.Blist->item(row)->text()) == wanted ? 1 : 0;
    }
    const double scanUs = timer.nsecsElapsed() / 1e3 / 10;
    std::printf("lookup_us=%.2f floor_us=%.2f scan_us=%.0f build_ms=%.0f (%d)\n", lookupUs, floorUs, scanUs, buildMs,
                found);
    return 0;
}
