// Sounds through libcanberra, the desktop's own event-sound library: it plays a file by name
// without blocking and cancels the previous one by id, which is all the program asks of it. On a
// PulseAudio or PipeWire desktop it plays through its pulse backend (libcanberra-pulse).
#include "platform/desktop_services.h"
#include "platform/file_names.h"

#include <QDir>
#include <QFileInfo>

#include <canberra.h>

namespace platform::desktop {

bool soundOutputPossible(const QString& pulseServer, const QString& runtimeDir, const QString& root)
{
    if (!pulseServer.isEmpty())
        return true;
    // A PulseAudio server, or PipeWire's stand-in for one, for this user or for the system.
    if (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QLatin1String("/pulse/native")))
        return true;
    if (QFileInfo::exists(root + QLatin1String("/run/pulse/native")))
        return true;
    // A sound card with a playback device (ALSA names them pcmC<card>D<device>p), or OSS.
    const QDir snd(root + QLatin1String("/dev/snd"));
    if (!snd.entryList({QStringLiteral("pcmC*D*p")}, QDir::System | QDir::Files).isEmpty())
        return true;
    return QFileInfo::exists(root + QLatin1String("/dev/dsp"));
}

namespace {

class CanberraSound final : public Sound {
public:
    ~CanberraSound() override
    {
        if (m_context)
            ca_context_destroy(m_context);
    }

    void play(const QString& wavPath) override
    {
        if (m_silent)
            return;
        if (!m_context && !open())
            return;
        ca_context_cancel(m_context, kSoundId);
        const QString file = findFileIgnoringCase(wavPath);
        if (QFileInfo(file).isFile()) {
            ca_context_play(m_context, kSoundId, CA_PROP_MEDIA_FILENAME, file.toLocal8Bit().constData(),
                            CA_PROP_MEDIA_ROLE, "event", CA_PROP_CANBERRA_CACHE_CONTROL, "volatile",
                            nullptr);
        } else {
            ca_context_play(m_context, kSoundId, CA_PROP_EVENT_ID, "bell", CA_PROP_MEDIA_ROLE, "event",
                            nullptr);
        }
    }

private:
    // Decided once per run: with no device, every attempt would cost time and, through ALSA,
    // a screenful of error lines; so the program stays silent instead.
    bool open()
    {
        m_silent = true;
        if (!soundOutputPossible(qEnvironmentVariable("PULSE_SERVER"), qEnvironmentVariable("XDG_RUNTIME_DIR"),
                                 QString()))
            return false;
        if (ca_context_create(&m_context) < 0) {
            m_context = nullptr;
            return false;
        }
        ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Pellavine", CA_PROP_APPLICATION_ID,
                                "org.example.Pellavine", nullptr);
        if (ca_context_open(m_context) < 0) {
            ca_context_destroy(m_context);
            m_context = nullptr;
            return false;
        }
        m_silent = false;
        return true;
    }

    static constexpr uint32_t kSoundId = 1;
    ca_context* m_context = nullptr;
    bool m_silent = false;
};

} // namespace

Sound& sound() { static CanberraSound s; return s; }

} // namespace platform::desktop
