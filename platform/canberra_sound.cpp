// Sounds through libcanberra, the desktop's own event-sound library: it plays a file by name
// without blocking and cancels the previous one by id, which is all the program asks of it.
#include "platform/desktop_services.h"
#include "platform/file_names.h"

#include <QFileInfo>

#include <canberra.h>

namespace platform::desktop {
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
        if (!m_context) {
            if (ca_context_create(&m_context) < 0) {
                m_context = nullptr;
                return;
            }
            ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Pellavine",
                                    CA_PROP_APPLICATION_ID, "org.example.Pellavine", nullptr);
        }
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
    static constexpr uint32_t kSoundId = 1;
    ca_context* m_context = nullptr;
};

} // namespace

Sound& sound() { static CanberraSound s; return s; }

} // namespace platform::desktop
