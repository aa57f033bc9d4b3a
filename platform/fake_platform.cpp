#include "platform/fake_platform.h"

namespace platform {

void FakeDialogs::information(const QString& text)
{
    boxes << RecordedBox{BoxKind::Information, applicationTitle(), text};
    if (whileOpen)
        whileOpen(boxes.back());
}

bool FakeDialogs::confirm(const QString& text)
{
    boxes << RecordedBox{BoxKind::Confirmation, QStringLiteral("Confirm"), text};
    if (whileOpen)
        whileOpen(boxes.back());
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

void FakeDialogs::error(const QString& text)
{
    boxes << RecordedBox{BoxKind::Error, applicationTitle(), text};
    if (whileOpen)
        whileOpen(boxes.back());
}

QStringList FakeDialogs::texts(BoxKind kind) const
{
    QStringList result;
    for (const RecordedBox& box : boxes) {
        if (box.kind == kind)
            result << box.text;
    }
    return result;
}

FakePlatform::FakePlatform()
{
    setDialogs(&dialogs);
    setSound(&sound);
    setShell(&shell);
    setPaths(&paths);
    setClock(&clock);
    setWindowSystem(&windows);
    setTrayHost(&tray);
}

FakePlatform::~FakePlatform()
{
    setDialogs(nullptr);
    setSound(nullptr);
    setShell(nullptr);
    setPaths(nullptr);
    setClock(nullptr);
    setWindowSystem(nullptr);
    setTrayHost(nullptr);
}

} // namespace platform
