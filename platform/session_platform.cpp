#include "platform/session_platform.h"

#include <cstring>

namespace platform {

SessionFacts sessionFactsFromEnvironment(int argc, char** argv)
{
    SessionFacts facts;
    facts.qpaPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    facts.x11Display = qEnvironmentVariable("DISPLAY");
    facts.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            facts.platformArgument = true;
    }
    return facts;
}

QString preferredPlatform(const SessionFacts& facts)
{
    if (!facts.qpaPlatform.trimmed().isEmpty() || facts.platformArgument)
        return QString();
    if (!facts.x11Display.isEmpty())
        return QStringLiteral("xcb");
    if (!facts.waylandDisplay.isEmpty())
        return QStringLiteral("wayland");
    return QString();
}

ApplicationArguments::ApplicationArguments(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i)
        strings_.emplace_back(argv[i]);
    if (strings_.empty())
        strings_.emplace_back("pellavine");
    const QString platform = preferredPlatform(sessionFactsFromEnvironment(argc, argv));
    if (!platform.isEmpty()) {
        // Right after the program's name: Qt reads its own options wherever they stand.
        strings_.insert(strings_.begin() + 1, {QByteArray("-platform"), platform.toLatin1()});
    }
    for (QByteArray& s : strings_)
        pointers_.push_back(s.data());
    argc_ = static_cast<int>(strings_.size());
    pointers_.push_back(nullptr);
}

} // namespace platform
