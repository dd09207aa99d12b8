// An actor's sounds through a real sound server: a private PulseAudio with a
// null sink, whose monitor is recorded and its sounds counted; and an actor
// with no sound server at all, which must stay silent and keep its time.
#include <gtest/gtest.h>

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <cmath>
#include <cstring>

#include "actor/qt/process_harness.h"

using namespace kobal::actor::qt::testing;

namespace {

// A loud tone (half a second of 440 Hz unless told), 16-bit mono PCM.
void WriteTone(const QString& path, int ms = 500, int hz = 440) {
    const int rate = 44100, samples = rate * ms / 1000;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    auto tag = [&](const char* t) { out.writeRawData(t, 4); };
    tag("RIFF");
    out << quint32(36 + samples * 2);
    tag("WAVE");
    tag("fmt ");
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2) << quint16(16);
    tag("data");
    out << quint32(samples * 2);
    for (int i = 0; i < samples; ++i) out << qint16(std::lround(20000 * std::sin(2 * M_PI * hz * i / rate)));
}

// What a recording of 16-bit mono samples at 44100 Hz holds: its loud
// stretches, each begun after at least 30 ms of quiet, in 10 ms steps.
struct Heard {
    int onsets = 0;
    int longestMs = 0;
};

Heard Listen(const QByteArray& pcm) {
    const qsizetype step = 441 * 2;
    Heard heard;
    int quiet = 3, loudMs = 0;
    for (qsizetype at = 0; at + step <= pcm.size(); at += step) {
        int peak = 0;
        for (qsizetype i = at; i < at + step; i += 2)
            peak = std::max(peak, std::abs(int(qint16(quint8(pcm[i]) | (quint8(pcm[i + 1]) << 8)))));
        if (peak > 3000) {
            if (quiet >= 3) ++heard.onsets;
            // A dip shorter than 30 ms is part of the sound.
            loudMs = quiet >= 3 ? 10 : loudMs + 10 + 10 * quiet;
            heard.longestMs = std::max(heard.longestMs, loudMs);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return heard;
}

class ActorSound : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        install = std::make_unique<ActorInstall>();
        install->dir.Write("install/resource/config.kcfg",
                           "priorityup =100\r\nspeedup=100\r\naudioon= 1 \r\nshowsplash= 0 \r\n"
                           "boredtime=30000\r\nsleeptime=31000\r\nhibernatetime=32000\r\n"
                           "initialpriority= 0 \r\ntransparencyoff= 0 \r\noverrideactor= 0 \r\n[end]\r\n");
        WriteTone(QString::fromStdString(install->dir / "actor/tone.wav"));
        WriteTone(QString::fromStdString(install->dir / "actor/tone2.wav"));
        const std::string header =
            "timerspeed=40\r\nmovespeed=30\r\nactorwidth=40\r\nactorheight=30\r\n"
            "transparentred=255\r\ntransparentgreen=0\r\ntransparentblue=255\r\n[end]\r\n";
        // Every frame names a sound, each another than the last.
        install->dir.Write("actor/sing.kani",
                           "framecount=2\r\nframepause=1\r\n" + header + "red.bmp|tone.wav\r\nblue.bmp|tone2.wav\r\n");
        install->dir.Write("actor/sing.krnd", "1\r\n!04|1000|sing.kani|\r\n");
        // One sound, then time to be heard before the next cuts it off.
        std::string chirp = "framecount=16\r\nframepause=1\r\n" + header + "red.bmp|tone.wav\r\n";
        for (int i = 0; i < 15; ++i) chirp += "blue.bmp\r\n";
        install->dir.Write("actor/chirp.kani", chirp);
        install->dir.Write("actor/chirp.krnd", "1\r\n!04|1000|chirp.kani|\r\n");
        // A short beep on the first of seven frames of 50 ms: with the
        // ticks between two passes, one every half second.
        WriteTone(QString::fromStdString(install->dir / "actor/beep.wav"), 100);
        install->dir.Write("actor/beep.kani", "framecount=7\r\nframepause=1\r\ntimerspeed=50\r\n" +
                                                  header.substr(header.find('\n') + 1) + "red.bmp|beep.wav\r\n" +
                                                  Repeat("blue.bmp\r\n", 6));
        install->dir.Write("actor/beep.krnd", "1\r\n!04|30000|beep.kani|\r\n");
        // Two seconds of tone, cut after a quarter of a second by a beep.
        WriteTone(QString::fromStdString(install->dir / "actor/long.wav"), 2000);
        WriteTone(QString::fromStdString(install->dir / "actor/high.wav"), 100, 880);
        install->dir.Write("actor/cut.kani", "framecount=40\r\nframepause=1\r\n" + header + "red.bmp|long.wav\r\n" +
                                                 Repeat("blue.bmp\r\n", 4) + "red.bmp|high.wav\r\n" +
                                                 Repeat("blue.bmp\r\n", 34));
        install->dir.Write("actor/cut.krnd", "1\r\n!04|30000|cut.kani|\r\n");
        install->dir.Write("actor/hum.kani", "framecount=2\r\nframepause=1\r\n" + header + "red.bmp\r\nblue.bmp\r\n");
        install->dir.Write("actor/hum.krnd", "1\r\n!04|1000|hum.kani|\r\n");
        counters = QString::fromStdString(install->dir / "frames");
        QDir().mkpath(counters);
    }
    void TearDown() override {
        qunsetenv("PULSE_SERVER");
        qunsetenv("KOBALACTOR_FRAME_COUNTER");
        install.reset();
        for (QProcess* p : {&recorder, &server}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(3000)) p->kill();
            p->waitForFinished(2000);
        }
    }
    quint64 Frames(const QProcess& actor) { return Frames(actor.processId()); }
    quint64 Frames(qint64 pid) {
        QFile f(counters + "/" + QString::number(pid));
        quint64 n = 0;
        if (f.open(QIODevice::ReadOnly) && f.size() >= qint64(sizeof n))
            std::memcpy(&n, f.read(sizeof n).data(), sizeof n);
        return n;
    }

    static std::string Repeat(const std::string& line, int n) {
        std::string all;
        for (int i = 0; i < n; ++i) all += line;
        return all;
    }

    // A private PulseAudio whose only sink plays into nothing, and a
    // recorder on that sink's monitor. The sink never rewinds: a rewind
    // rewrites what the sink has already handed to its monitor, and the
    // recording would lose or shift sounds that were played.
    void StartSoundServer() {
        for (const char* tool : {"pulseaudio", "parec", "pactl"})
            if (RunTool("sh", {"-c", QString("command -v ") + tool}).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/deps installs it)";
        const QString home = QString::fromStdString(install->dir / "pulse");
        QDir().mkpath(home);
        QFile::setPermissions(home, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString socket = home + "/native";
        QProcessEnvironment env;
        env.insert("PATH", qEnvironmentVariable("PATH"));
        env.insert("HOME", home);
        env.insert("XDG_RUNTIME_DIR", home);
        server.setProcessEnvironment(env);
        server.start("pulseaudio",
                     {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=false", "--disallow-exit",
                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                      "--load=module-null-sink sink_name=kobal_null norewinds=1"});
        ASSERT_TRUE(server.waitForStarted(5000));
        where = "unix:" + socket;
        QElapsedTimer t;
        t.start();
        while (!RunTool("pactl", {"--server=" + where, "list", "short", "sinks"}).contains("kobal_null")) {
            ASSERT_LT(t.elapsed(), 15000) << "the sound server did not come up";
            Wait(200);
        }
        recorder.start("parec", {"--server=" + where, "--device=kobal_null.monitor", "--raw", "--format=s16le",
                                 "--channels=1", "--rate=44100", "--latency-msec=20"});
        ASSERT_TRUE(recorder.waitForStarted(5000));
        recording.start();
        // The actors hear of the server as desktop programs do, and read no
        // configuration or cookie of the machine's.
        qputenv("PULSE_SERVER", where.toLatin1());
        install->extraEnv.insert("HOME", home);
    }
    void Record() { recorded += recorder.readAllStandardOutput(); }
    double RecordedSeconds() const { return recorded.size() / (2 * 44100.0); }
    // Records on until the recording reaches the time the actor ended, and
    // a little beyond: the sink runs on the clock, so this only waits.
    void RecordUntil(qint64 endedMs) {
        QElapsedTimer t;
        t.start();
        while (RecordedSeconds() * 1000 < endedMs + 500 && t.elapsed() < 30000) {
            recorder.waitForReadyRead(200);
            Record();
        }
    }

    std::unique_ptr<ActorInstall> install;
    QString counters;
    QProcess server, recorder;
    QString where;
    QByteArray recorded;
    QElapsedTimer recording;  // since the recorder started
};

}  // namespace

TEST_F(ActorSound, SamplesReachAPulseAudioNullSink) {
    StartSoundServer();
    if (IsSkipped() || HasFatalFailure()) return;
    // Silence before the actor: what arrives later is the actor's.
    while (RecordedSeconds() < 0.3 && recording.elapsed() < 10000) {
        recorder.waitForReadyRead(200);
        Record();
    }
    EXPECT_EQ(Listen(recorded).onsets, 0);

    QProcess& actor = install->Start({QString::fromStdString(install->WriteActor("chirp.kact", "chirp.krnd"))});
    QElapsedTimer t;
    t.start();
    while (Listen(recorded).onsets == 0 && t.elapsed() < 20000) {
        recorder.waitForReadyRead(200);
        Record();
    }
    EXPECT_GE(Listen(recorded).onsets, 1) << "no sound reached the sink; the actor said: "
                                          << QString::fromLocal8Bit(actor.readAllStandardError()).toStdString();
    EXPECT_EQ(actor.state(), QProcess::Running);
}

// Every sound an animation asks for is heard, one after another for a
// minute (a player that stops after a few, or skips some, fails here); the
// count is that of the animation's passes, each of which asks once.
TEST_F(ActorSound, EverySoundIsHeardForAMinute) {
    StartSoundServer();
    if (IsSkipped() || HasFatalFailure()) return;
    qputenv("KOBALACTOR_FRAME_COUNTER", counters.toLatin1());
    QProcess& actor = install->Start({QString::fromStdString(install->WriteActor("beep.kact", "beep.krnd"))});
    const qint64 pid = actor.processId();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000 && actor.state() == QProcess::Running) {
        recorder.waitForReadyRead(200);
        Record();
    }
    ASSERT_EQ(actor.state(), QProcess::Running) << QString::fromLocal8Bit(actor.readAllStandardError()).toStdString();
    actor.terminate();
    QString err;
    EXPECT_EQ(ActorInstall::Finish(actor, &err), 0);
    const qint64 ended = recording.elapsed();
    const quint64 asked = (Frames(pid) + 6) / 7;
    RecordUntil(ended);
    const Heard heard = Listen(recorded);
    // Two a second for a minute; a loaded machine slows the actor down.
    EXPECT_GE(asked, 40u);
    // The last one may have been asked for just as the actor ended.
    EXPECT_LE(quint64(heard.onsets), asked);
    EXPECT_GE(quint64(heard.onsets) + 1, asked) << heard.onsets << " sounds heard of " << asked;
    EXPECT_LT(heard.longestMs, 400) << "sounds ran into one another";
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
}

// A sound cuts off the one still playing: a two-second tone followed a
// quarter of a second later by a short beep is heard for about a third of a
// second, not for two (nor, as the next pass starts before the tone's end,
// without a pause).
TEST_F(ActorSound, ANewSoundCutsOffTheOnePlaying) {
    StartSoundServer();
    if (IsSkipped() || HasFatalFailure()) return;
    QProcess& actor = install->Start({QString::fromStdString(install->WriteActor("cut.kact", "cut.krnd"))});
    QElapsedTimer t;
    t.start();
    while (Listen(recorded).onsets < 4 && t.elapsed() < 30000) {
        recorder.waitForReadyRead(200);
        Record();
    }
    actor.terminate();
    EXPECT_EQ(ActorInstall::Finish(actor), 0);
    RecordUntil(recording.elapsed());
    const Heard heard = Listen(recorded);
    EXPECT_GE(heard.onsets, 4) << "no sounds reached the sink";
    EXPECT_GT(heard.longestMs, 200);
    EXPECT_LT(heard.longestMs, 1000) << "the tone went on under the beep";
}

// A server that is not there at the actor's first sounds is asked for
// again at a later one: a desktop may start its server late, or restart it.
TEST_F(ActorSound, ASoundServerThatComesLaterIsFound) {
    const QString home = QString::fromStdString(install->dir / "pulse");
    qputenv("PULSE_SERVER", ("unix:" + home + "/native").toLatin1());
    install->extraEnv.insert("HOME", home);
    qputenv("KOBALACTOR_FRAME_COUNTER", counters.toLatin1());
    QProcess& actor = install->Start({QString::fromStdString(install->WriteActor("beep.kact", "beep.krnd"))});
    QElapsedTimer t;
    t.start();
    while (Frames(actor) < 3 * 7 && t.elapsed() < 30000) Wait(100);
    ASSERT_GE(Frames(actor), 3u * 7) << "the actor asked for no sounds";

    StartSoundServer();
    if (IsSkipped() || HasFatalFailure()) return;
    t.restart();
    while (Listen(recorded).onsets < 3 && t.elapsed() < 30000) {
        recorder.waitForReadyRead(200);
        Record();
    }
    EXPECT_GE(Listen(recorded).onsets, 3) << "the actor never found the server";
    actor.terminate();
    QString err;
    EXPECT_EQ(ActorInstall::Finish(actor, &err), 0);
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
}

TEST_F(ActorSound, WithoutASoundServerTheActorIsSilentAndKeepsItsTime) {
    // Nothing listens there, and a named server is never started on demand.
    qputenv("PULSE_SERVER", ("unix:" + QString::fromStdString(install->dir / "no-such-server")).toLatin1());
    install->extraEnv.insert("HOME", QString::fromStdString(install->dir / "home"));
    qputenv("KOBALACTOR_FRAME_COUNTER", counters.toLatin1());
    QProcess& singer =
        install->Start({QString::fromStdString(install->WriteActor("sing.kact", "sing.krnd", "Singer"))});
    QProcess& hummer = install->Start({QString::fromStdString(install->WriteActor("hum.kact", "hum.krnd", "Hummer"))});
    ASSERT_FALSE(ActorInstall::FindWindow("Singer", 15000).isEmpty());
    ASSERT_FALSE(ActorInstall::FindWindow("Hummer", 15000).isEmpty());
    // Side by side under the same load, the actor whose every frame asks for
    // a sound shows its frames about as often as one that has none.
    const quint64 singer0 = Frames(singer), hummer0 = Frames(hummer);
    QElapsedTimer t;
    t.start();
    while (Frames(hummer) < hummer0 + 60 && t.elapsed() < 30000) Wait(100);
    const quint64 sung = Frames(singer) - singer0, hummed = Frames(hummer) - hummer0;
    EXPECT_GE(hummed, 60u);
    EXPECT_GE(sung * 2, hummed) << "sounds held up the timeline: " << sung << " frames against " << hummed;

    EXPECT_EQ(singer.state(), QProcess::Running);
    singer.terminate();
    QString err;
    EXPECT_EQ(ActorInstall::Finish(singer, &err), 0);
    // No message box (each one also goes to stderr as "title: text"), and
    // no word about the missing server either.
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    hummer.terminate();
    EXPECT_EQ(ActorInstall::Finish(hummer), 0);
}
