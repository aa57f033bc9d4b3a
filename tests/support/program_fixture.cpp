#include "tests/support/program_fixture.h"

#include "platform/cp1251.h"
#include "windows/black_list.h"

#include <QFile>
#include <QTest>

void useBlackList(const QStringList& names)
{
    QFile file(App().BlackListPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (const QString& name : names)
        file.write(platform::toCp1251(name) + "\r\n");
    file.close();
    BListF->FormCreate();
    QCOMPARE(BListF->names(), names);
}
