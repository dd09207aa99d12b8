// An actor's sounds through a real sound server: a private PulseAudio with a
// null sink, whose monitor shows whether samples arrive; and an actor with
// no sound server at all, which must stay silent and keep its time.
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "actor/qt/process_harness.h"

using namespace kobal::actor::qt::testing;

namespace {

// Half a second of a loud 440 Hz tone, 16-bit mono PCM.
void WriteTone(const QString& path) {
    const int rate = 44100, samples = rate / 2;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    auto tag = [&](const char* t) { out.writeRawData(t, 4); };
    tag("RIFF");
    out << quint32(36 + samples * 2);
    tag("WAVE");
    tag("fmt ");
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2)
        << quint16(16);
    tag("data");
    out << quint32(samples * 2);
    for (int i = 0; i < samples; ++i) out << qint16(std::lround(20000 * std::sin(2 * M_PI * 440 * i / rate)));
}

class ActorSound : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        install = std::make_unique<ActorInstall>();
        install->dir.Write("install/resource/config.kcfg",
                           "priorityup =100\r\nspeedup=100\r\naudioon= 1 \r\nshowsplash= 0 \r\nboredtime=60\r\n"
                           "sleeptime=300\r\nhibernatetime=900\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
                           "overrideactor= 0 \r\n[end]\r\n");
        WriteTone(QString::fromStdString(install->dir / "actor/tone.wav"));
        WriteTone(QString::fromStdString(install->dir / "actor/tone2.wav"));
        const std::string header = "timerspeed=40\r\nmovespeed=30\r\nactorwidth=40\r\nactorheight=30\r\n"
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
        install->dir.Write("actor/hum.kani",
                           "framecount=2\r\nframepause=1\r\n" + header + "red.bmp\r\nblue.bmp\r\n");
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
    quint64 Frames(const QProcess& actor) {
        QFile f(counters + "/" + QString::number(actor.processId()));
        quint64 n = 0;
        if (f.open(QIODevice::ReadOnly) && f.size() >= qint64(sizeof n)) std::memcpy(&n, f.read(sizeof n).data(), sizeof n);
        return n;
    }

    std::unique_ptr<ActorInstall> install;
    QString counters;
    QProcess server, recorder;
};

}  // namespace

TEST_F(ActorSound, SamplesReachAPulseAudioNullSink) {
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
    server.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=false",
                                "--disallow-exit", "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                                "--load=module-null-sink sink_name=kobal_null"});
    ASSERT_TRUE(server.waitForStarted(5000));
    const QString where = "unix:" + socket;
    QElapsedTimer t;
    t.start();
    while (!RunTool("pactl", {"--server=" + where, "list", "short", "sinks"}).contains("kobal_null")) {
        ASSERT_LT(t.elapsed(), 15000) << "the sound server did not come up";
        Wait(200);
    }
    recorder.start("parec", {"--server=" + where, "--device=kobal_null.monitor", "--raw", "--format=s16le",
                             "--channels=1", "--rate=44100"});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    Wait(300);
    // Silence before the actor: what arrives later is the actor's.
    auto loudest = [this] {
        const QByteArray data = recorder.readAllStandardOutput();
        int peak = 0;
        for (qsizetype i = 0; i + 1 < data.size(); i += 2)
            peak = std::max(peak, std::abs(int(qint16(quint8(data[i]) | (quint8(data[i + 1]) << 8)))));
        return peak;
    };
    recorder.waitForReadyRead(1000);
    EXPECT_LT(loudest(), 100);

    qputenv("PULSE_SERVER", where.toLatin1());
    QProcess& actor = install->Start({QString::fromStdString(install->WriteActor("chirp.kact", "chirp.krnd"))});
    int peak = 0;
    t.restart();
    while (peak < 5000 && t.elapsed() < 20000) {
        recorder.waitForReadyRead(200);
        peak = std::max(peak, loudest());
    }
    EXPECT_GE(peak, 5000) << "no sound reached the sink; the actor said: "
                          << QString::fromLocal8Bit(actor.readAllStandardError()).toStdString();
    EXPECT_EQ(actor.state(), QProcess::Running);
}

TEST_F(ActorSound, WithoutASoundServerTheActorIsSilentAndKeepsItsTime) {
    // Nothing listens there, and a named server is never started on demand.
    qputenv("PULSE_SERVER", ("unix:" + QString::fromStdString(install->dir / "no-such-server")).toLatin1());
    qputenv("KOBALACTOR_FRAME_COUNTER", counters.toLatin1());
    QProcess& singer = install->Start({QString::fromStdString(install->WriteActor("sing.kact", "sing.krnd", "Singer"))});
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
    // No message box (each one also goes to stderr as "title: text").
    EXPECT_FALSE(err.contains("kobalactor:")) << err.toStdString();
    EXPECT_FALSE(err.contains("!:")) << err.toStdString();
    // Nor a complaint at every sound it did not play.
    EXPECT_LE(err.count("No audio device"), 1) << err.toStdString();
    hummer.terminate();
    EXPECT_EQ(ActorInstall::Finish(hummer), 0);
}
