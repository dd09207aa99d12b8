// The actor's sound player, in a module of its own: the actor program loads
// it on the first sound it plays, so that a silent actor never pays for a
// sound-server connection.
//
// Each sound is a stream of its own on the desktop's sound server, spoken to
// with libpulse (PulseAudio, or PipeWire's Pulse server): the stream is fed
// from the file as the server asks, drained, and dropped; a new sound drops
// the one playing. Nothing is carried over from one sound to the next but the
// connection, so no state can build up over hours of sounds. libpulse runs
// its own thread; every call into it from the actor's thread holds its lock.
#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include "actor/ports.h"

namespace {

// A sound file opened for reading, in the server's terms.
struct SoundFile {
    SNDFILE* file = nullptr;
    pa_sample_spec format{};  // libpulse's own type name
    pa_channel_map map{};
    ~SoundFile() {
        if (file) sf_close(file);
    }
};

// Only regular files: a name that leads to a directory or a pipe would
// otherwise hold up the actor's thread. A missing, unreadable or unknown
// file gives nothing, and so stays silent.
std::unique_ptr<SoundFile> OpenSound(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    auto sound = std::make_unique<SoundFile>();
    SF_INFO info{};
    sound->file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!sound->file) return nullptr;
    sound->format.format = PA_SAMPLE_FLOAT32NE;
    sound->format.rate = info.samplerate > 0 ? static_cast<uint32_t>(info.samplerate) : 0;
    sound->format.channels =
        info.channels > 0 && info.channels <= int{PA_CHANNELS_MAX} ? static_cast<uint8_t>(info.channels) : uint8_t{0};
    if (sound->format.rate == 0 || sound->format.rate > PA_RATE_MAX || sound->format.channels == 0 || info.frames == 0)
        return nullptr;
    // Wave files order their channels as the extensible wave format does.
    pa_channel_map_init_extend(&sound->map, sound->format.channels, PA_CHANNEL_MAP_WAVEEX);
    return sound;
}

class PulsePlayer : public kobal::actor::SoundPort {
  public:
    PulsePlayer() {
        loop_ = pa_threaded_mainloop_new();
        if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
        }
    }

    ~PulsePlayer() override {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        CutOff();
        DropContext();
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }

    void Play(const std::string& path) override {
        if (!loop_) return;
        std::unique_ptr<SoundFile> sound = OpenSound(path);
        pa_threaded_mainloop_lock(loop_);
        // A new sound cuts off the one playing, even when it cannot be
        // played itself; one still waiting for the server is replaced.
        CutOff();
        waiting_ = std::move(sound);
        if (waiting_) {
            if (context_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) DropContext();
            if (!context_ && RetryDue()) Connect();
            if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) Start();
            // Without a server the sound is dropped: it would be late.
            if (!context_) waiting_.reset();
        }
        pa_threaded_mainloop_unlock(loop_);
    }

  private:
    // What plays now: its stream, the file that feeds it, and the drain
    // under way once the file is used up.
    struct Playing {
        pa_stream* stream = nullptr;
        std::unique_ptr<SoundFile> sound;
        pa_operation* drain = nullptr;
    };

    // A lost or missing server is asked again at most this often, so that
    // an actor that sounds often does not knock at an empty door each time.
    static constexpr std::chrono::seconds kRetryPause{2};

    bool RetryDue() const { return !failedAt_ || std::chrono::steady_clock::now() - *failedAt_ >= kRetryPause; }

    void Connect() {
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Kobaltron actor");
        pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.kobaltron.Kobaltron");
        pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "kobaltron");
        context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Kobaltron actor", props);
        pa_proplist_free(props);
        if (!context_) {
            failedAt_ = std::chrono::steady_clock::now();
            return;
        }
        pa_context_set_state_callback(context_, &PulsePlayer::ContextChanged, this);
        // The desktop starts its sound server; an actor never does. A
        // server that is not there may already have failed the context.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            DropContext();
            failedAt_ = std::chrono::steady_clock::now();
        }
    }

    void DropContext() {
        if (!context_) return;
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }

    // Also called from inside pa_context_connect: the context itself is
    // let go only at the next sound, outside its own callbacks.
    static void ContextChanged(pa_context* c, void* self) {
        auto* p = static_cast<PulsePlayer*>(self);
        const pa_context_state_t state = pa_context_get_state(c);
        if (state == PA_CONTEXT_READY) {
            p->failedAt_.reset();
            if (p->waiting_) p->Start();
        } else if (!PA_CONTEXT_IS_GOOD(state)) {
            p->CutOff();
            p->waiting_.reset();
            p->failedAt_ = std::chrono::steady_clock::now();
        }
    }

    void Start() {
        std::unique_ptr<SoundFile> sound = std::move(waiting_);
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
        pa_stream* s = pa_stream_new_with_proplist(context_, "sound", &sound->format, &sound->map, props);
        pa_proplist_free(props);
        if (!s) return;
        playing_ = std::make_unique<Playing>();
        playing_->stream = s;
        playing_->sound = std::move(sound);
        pa_stream_set_write_callback(s, &PulsePlayer::Feed, this);
        // The server's own buffering suits short sounds: the stream starts
        // once its buffer is full or, for a sound shorter than that, when
        // it is drained.
        const int connected = pa_stream_connect_playback(s, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr);
        if (connected < 0) CutOff();
    }

    // The server asks for more: as much of the file as it wants; at the end
    // of the file a drain lets the stream play out.
    static void Feed(pa_stream* s, size_t wanted, void* self) {
        auto* p = static_cast<PulsePlayer*>(self);
        if (!p->playing_ || p->playing_->stream != s) return;
        SoundFile& sound = *p->playing_->sound;
        const size_t frameBytes = pa_frame_size(&sound.format);
        bool ended = false;
        while (!ended && wanted >= frameBytes) {
            void* buffer = nullptr;
            size_t bytes = wanted;
            if (pa_stream_begin_write(s, &buffer, &bytes) < 0 || !buffer) return p->CutOff();
            const sf_count_t asked = static_cast<sf_count_t>(std::min(bytes, wanted) / frameBytes);
            if (asked == 0) {  // no room for a whole frame: wait to be asked again
                pa_stream_cancel_write(s);
                return;
            }
            const sf_count_t got = sf_readf_float(sound.file, static_cast<float*>(buffer), asked);
            // Fewer frames than asked for: the end of the file (or a fault in it).
            ended = got < asked;
            if (got <= 0) {
                pa_stream_cancel_write(s);
                break;
            }
            const size_t written = static_cast<size_t>(got) * frameBytes;
            if (pa_stream_write(s, buffer, written, nullptr, 0, PA_SEEK_RELATIVE) < 0) return p->CutOff();
            wanted -= written;
        }
        if (!ended) return;
        pa_stream_set_write_callback(s, nullptr, nullptr);
        p->playing_->drain = pa_stream_drain(s, &PulsePlayer::Drained, p);
    }

    static void Drained(pa_stream* s, int, void* self) {
        auto* p = static_cast<PulsePlayer*>(self);
        if (!p->playing_ || p->playing_->stream != s) return;
        pa_operation_unref(p->playing_->drain);
        p->playing_->drain = nullptr;
        p->CutOff();
    }

    // Drops the stream that plays now; the server stops it at once.
    void CutOff() {
        if (!playing_) return;
        std::unique_ptr<Playing> gone = std::move(playing_);
        if (gone->drain) {
            pa_operation_cancel(gone->drain);
            pa_operation_unref(gone->drain);
        }
        pa_stream_set_write_callback(gone->stream, nullptr, nullptr);
        pa_stream_disconnect(gone->stream);
        pa_stream_unref(gone->stream);
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::unique_ptr<SoundFile> waiting_;  // until the server answers
    std::unique_ptr<Playing> playing_;
    // When a server was last found not there.
    std::optional<std::chrono::steady_clock::time_point> failedAt_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) kobal::actor::SoundPort* KobalCreateSoundPlayer() {
    return new PulsePlayer;
}
