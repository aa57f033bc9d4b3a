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
        if (context_)
            ca_context_destroy(context_);
    }

    void play(const QString& wavPath) override
    {
        if (silent_)
            return;
        if (!context_ && !open())
            return;
        ca_context_cancel(context_, SoundId);
        const QString file = findFileIgnoringCase(wavPath);
        if (QFileInfo(file).isFile()) {
            ca_context_play(context_, SoundId, CA_PROP_MEDIA_FILENAME, file.toLocal8Bit().constData(),
                            CA_PROP_MEDIA_ROLE, "event", CA_PROP_CANBERRA_CACHE_CONTROL, "volatile",
                            nullptr);
        } else {
            ca_context_play(context_, SoundId, CA_PROP_EVENT_ID, "bell", CA_PROP_MEDIA_ROLE, "event",
                            nullptr);
        }
    }

private:
    // Decided once per run: with no device, every attempt would cost time and, through ALSA,
    // a screenful of error lines; so the program stays silent instead.
    bool open()
    {
        silent_ = true;
        if (!soundOutputPossible(qEnvironmentVariable("PULSE_SERVER"), qEnvironmentVariable("XDG_RUNTIME_DIR"),
                                 QString()))
            return false;
        if (ca_context_create(&context_) < 0) {
            context_ = nullptr;
            return false;
        }
        ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Pellavine", CA_PROP_APPLICATION_ID,
                                "internal.pellavine.pellavine", nullptr);
        if (ca_context_open(context_) < 0) {
            ca_context_destroy(context_);
            context_ = nullptr;
            return false;
        }
        silent_ = false;
        return true;
    }

    static constexpr uint32_t SoundId = 1;
    ca_context* context_ = nullptr;
    bool silent_ = false;
};

} // namespace

Sound& sound() { static CanberraSound s; return s; }

} // namespace platform::desktop
