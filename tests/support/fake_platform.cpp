#include "tests/support/fake_platform.h"

#include "platform/modality.h"

namespace platform {

void FakeDialogs::open(BoxKind kind, const QString& title, const QString& text, QWidget* owner)
{
    const ModalScope scope(nullptr);
    RecordedBox box{kind, title, text, {}, owner};
    for (QWidget* window : scope.blocked())
        box.blocked << window;
    boxes << box;
    if (whileOpen)
        whileOpen(boxes.back());
}

void FakeDialogs::information(const QString& text, QWidget* owner)
{
    open(BoxKind::Information, applicationTitle(), text, owner);
}

bool FakeDialogs::confirm(const QString& text)
{
    open(BoxKind::Confirmation, QStringLiteral("Confirm"), text);
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

void FakeDialogs::error(const QString& text, QWidget* owner)
{
    open(BoxKind::Error, applicationTitle(), text, owner);
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

void FakeNameService::setName(const QString& address, const QString& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    names_.insert(address, name);
}

void FakeNameService::hold(const QString& address)
{
    std::lock_guard<std::mutex> lock(mutex_);
    held_.insert(address);
}

void FakeNameService::release(const QString& address)
{
    std::lock_guard<std::mutex> lock(mutex_);
    held_.remove(address);
    changed_.notify_all();
}

void FakeNameService::releaseAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    held_.clear();
    changed_.notify_all();
}

int FakeNameService::calls(const QString& address) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.value(address);
}

QString FakeNameService::hostName(const QString& address)
{
    std::unique_lock<std::mutex> lock(mutex_);
    ++calls_[address];
    changed_.wait(lock, [&] { return !held_.contains(address); });
    return names_.value(address);
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
    setNameService(&names);
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
    // Lookups still hanging on a held address end now, before the fake goes away.
    names.releaseAll();
    setNameService(nullptr);
}

} // namespace platform
