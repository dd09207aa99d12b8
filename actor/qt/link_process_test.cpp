// Several real actor processes on one link: a group forms, messages reach
// the actors they address, and the group re-forms after its hub is killed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLocalSocket>

#include "actor/qt/process_harness.h"

using namespace kobal::actor::qt::testing;

namespace {

class LinkProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        // A left click on an actor sends the message its response names.
        const std::string header =
            "timerspeed=40\r\nactorwidth=40\r\nactorheight=30\r\ntransparentred=255\r\n"
            "transparentblue=255\r\n[end]\r\n";
        for (const auto& [list, message] : {std::pair{"all", "*%*closeactor*"},
                                            {"tob", "b%*closeactor*"},
                                            {"toc", "C%*closeactor*"},
                                            {"toa", "a%*closeactor*"}}) {
            install.dir.Write(std::string("actor/send") + list + ".kani",
                              "framecount=2\r\nframepause=5\r\n" + header + "blue.bmp\r\n!99|0|" + message + "|\r\n");
            install.dir.Write(std::string("actor/send") + list + ".krnd",
                              std::string("1\r\n!04|1|send") + list + ".kani|\r\n");
        }
    }
    QProcess& StartActor(const std::string& name, const std::string& ddename, const std::string& response) {
        const std::string file = install.WriteActor(name + ".kact", "stand.krnd", name, ddename, response);
        QProcess& p = install.Start({QString::fromStdString(file)});
        EXPECT_FALSE(ActorInstall::FindWindow(QString::fromStdString(name)).isEmpty()) << name;
        return p;
    }
    // Milliseconds until the process ends, or -1 when it is still running.
    static int EndsWithin(QProcess& p, int ms) {
        QElapsedTimer t;
        t.start();
        if (p.state() != QProcess::NotRunning && !p.waitForFinished(ms)) return -1;
        return static_cast<int>(t.elapsed());
    }
    // Clicks the sender until the receiver ends, for up to limitMs: a group
    // still forming (or re-forming) loses what is sent to it meanwhile, and
    // a loaded machine takes its time.
    static bool ClickUntilEnds(const char* sender, QProcess& receiver, int limitMs = 60000) {
        QDeadlineTimer deadline(limitMs);
        do {
            ActorInstall::ClickCentre(ActorInstall::FindWindow(sender), 1);
            if (EndsWithin(receiver, 1000) >= 0) return true;
        } while (!deadline.hasExpired());
        return false;
    }
    // True once an actor serves the link, within limitMs.
    bool LinkServed(int limitMs = 30000) {
        for (QDeadlineTimer deadline(limitMs); !deadline.hasExpired(); Wait(100)) {
            QLocalSocket probe;
            probe.connectToServer(QString::fromStdString(SocketPath()));
            const bool served = probe.waitForConnected(1000);
            probe.abort();
            if (served) return true;
        }
        return false;
    }
    std::string SocketPath() { return install.dir / "run/kobaltron/KOBALACTOR-Actor-DDEline"; }

    ActorInstall install;
};

}  // namespace

TEST_F(LinkProcess, CloseActorForEveryoneEndsTheOthersNotTheSender) {
    QProcess& a = StartActor("LinkA", "a", "sendall.krnd");
    QProcess& b = StartActor("LinkB", "b", "stand.krnd");
    QProcess& c = StartActor("LinkC", "c", "stand.krnd");
    EXPECT_TRUE(ClickUntilEnds("LinkA", b));
    EXPECT_GE(EndsWithin(c, 5000), 0);
    EXPECT_EQ(ActorInstall::Finish(b), 0);
    EXPECT_EQ(ActorInstall::Finish(c), 0);
    EXPECT_EQ(EndsWithin(a, 1500), -1) << "the sender must not get its own message";

    // Only the user can open the link's directory.
    struct stat st {};
    ASSERT_EQ(::stat((install.dir / "run/kobaltron").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(LinkProcess, MessageToOneNameReachesOnlyThatActor) {
    QProcess& a = StartActor("LinkA", "a", "sendtob.krnd");
    QProcess& b = StartActor("LinkB", "B", "stand.krnd");
    QProcess& c = StartActor("LinkC", "c", "stand.krnd");
    EXPECT_TRUE(ClickUntilEnds("LinkA", b)) << "b (named B) did not get the message";
    EXPECT_EQ(EndsWithin(c, 2500), -1);
    EXPECT_EQ(a.state(), QProcess::Running);
}

TEST_F(LinkProcess, GroupReformsAfterTheHubIsKilledAndAStaleSocketIsTakenOver) {
    QProcess& hub = StartActor("LinkA", "a", "stand.krnd");
    ASSERT_TRUE(LinkServed()) << "the first actor does not serve the link";
    QProcess& b = StartActor("LinkB", "b", "sendtoc.krnd");
    QProcess& c = StartActor("LinkC", "c", "stand.krnd");
    Wait(1200);
    ::kill(static_cast<pid_t>(hub.processId()), SIGKILL);
    hub.waitForFinished(3000);
    // The members notice at their next ping and form a new group.
    EXPECT_TRUE(ClickUntilEnds("LinkB", c)) << "messages do not flow after the hub was killed";
    EXPECT_EQ(b.state(), QProcess::Running);

    // Kill every actor: the socket file stays behind, and the next actor to
    // start must still become the hub (and the one after it, its member).
    ::kill(static_cast<pid_t>(b.processId()), SIGKILL);
    b.waitForFinished(3000);
    struct stat st {};
    EXPECT_EQ(::lstat(SocketPath().c_str(), &st), 0) << "expected a stale socket file";
    QProcess& d = StartActor("LinkD", "d", "stand.krnd");
    // It takes the stale socket over once it has started.
    EXPECT_TRUE(LinkServed()) << "the new actor does not serve the link";
    QProcess& e = StartActor("LinkE", "a", "sendtob.krnd");
    QProcess& f = StartActor("LinkF", "b", "stand.krnd");
    EXPECT_TRUE(ClickUntilEnds("LinkE", f)) << "no group formed around the actor that took over the stale socket";
    EXPECT_EQ(d.state(), QProcess::Running);
    EXPECT_EQ(e.state(), QProcess::Running);
}

TEST_F(LinkProcess, MalformedAndOversizedFramesDropOnlyThatConnection) {
    QProcess& a = StartActor("LinkA", "a", "stand.krnd");
    QProcess& b = StartActor("LinkB", "b", "stand.krnd");
    [[maybe_unused]] QProcess& c = StartActor("LinkC", "c", "sendtob.krnd");
    ASSERT_TRUE(LinkServed());
    for (const QByteArray& junk : {QByteArray("GET / HTTP/1.0\r\n\r\n"), QByteArray("KA\xff\xff\xff\xff", 6)}) {
        QLocalSocket bad;
        bad.connectToServer(QString::fromStdString(SocketPath()));
        ASSERT_TRUE(bad.waitForConnected(1000));
        bad.write(junk);
        bad.flush();
        bad.waitForDisconnected(2000);
        EXPECT_EQ(bad.state(), QLocalSocket::UnconnectedState) << "the hub kept a bad connection";
    }
    EXPECT_EQ(a.state(), QProcess::Running);
    // The group still works.
    EXPECT_TRUE(ClickUntilEnds("LinkC", b));
}
