#include "common/user_places.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/test_files.h"

using namespace kobal;

namespace {

// An install with one actor of its own, a user's actor folder, and actors
// copied elsewhere by the user.
struct UserPlacesTest : ::testing::Test {
    TempDir dir;
    std::string installdir;
    UserPlaces user;

    void SetUp() override {
        installdir = dir / "install" + "\\";
        dir.Write("install/actors/kobi/kobi.ico", "");
        user = {dir / "config/kobaltron/config.kcfg", dir / "data/kobaltron/actors"};
    }
    std::string Resolve(const std::string& actorpath, const std::string& actorFile,
                        const std::string& icon = "zed.ico") {
        return ResolveActorPath(actorpath, installdir, actorFile, icon, user);
    }
};

}  // namespace

TEST_F(UserPlacesTest, SettingsAreTheUsersOwnOnlyOnceTheyExist) {
    EXPECT_EQ(SettingsFileToRead(installdir, user), installdir + "resource\\config.kcfg");
    EXPECT_EQ(SettingsFileToRead(installdir, {}), GlobalSettingsFile(installdir));
    dir.Write("config/kobaltron/config.kcfg", "[end]\r\n");
    EXPECT_EQ(SettingsFileToRead(installdir, user), user.settingsFile);
}

TEST_F(UserPlacesTest, ActorPathInstallFirstThenBesideTheActorFileThenTheUsersFolder) {
    // The install's folder wins whenever it exists, whatever it holds.
    EXPECT_EQ(Resolve("actors\\kobi\\", dir / "anywhere/kobi.kact"), installdir + "actors\\kobi\\");
    EXPECT_EQ(Resolve("C:\\mine\\", dir / "x.kact"), "C:\\mine\\");

    // Copied whole: the actor file's folder followed by actorpath.
    dir.Write("tree/actors/zed/zed.ico", "");
    EXPECT_EQ(Resolve("actors\\zed\\", dir / "tree/zed.kact"), dir / "tree/" + "actors\\zed\\");
    // Its folder alone copied: actorpath's leading folders are left off.
    dir.Write("Downloads/zed/zed.ico", "");
    EXPECT_EQ(Resolve("actors\\zed\\", dir / "Downloads/zed/zed.kact"), dir / "Downloads/zed/");
    dir.Write("Downloads/set/zed/zed.ico", "");
    EXPECT_EQ(Resolve("actors\\zed\\", dir / "Downloads/set/zed.kact"), dir / "Downloads/set/" + "zed\\");

    // Only the actor file lies elsewhere: the user's actor folder, with or
    // without the install's leading "actors\".
    dir.Write("data/kobaltron/actors/zed/zed.ico", "");
    EXPECT_EQ(Resolve("actors\\zed\\", dir / "Desktop/zed.kact"), user.actorFolder + "/zed\\");
    EXPECT_EQ(Resolve("zed\\", dir / "Desktop/zed.kact"), user.actorFolder + "/zed\\");
    // A folder without the actor's icon is passed over; with no icon named
    // there is nothing to know a folder by.
    EXPECT_EQ(Resolve("zed\\", dir / "Downloads/zed/zed.kact", ""), installdir + "zed\\");
    EXPECT_EQ(Resolve("zed\\", dir / "Downloads/zed/zed.kact", "other.ico"), installdir + "zed\\");

    // Nowhere: the usual place, so that messages name it.
    EXPECT_EQ(Resolve("actors\\nobody\\", dir / "Desktop/n.kact"), installdir + "actors\\nobody\\");
    EXPECT_EQ(ResolveActorPath("actors\\zed\\", installdir, dir / "Desktop/zed.kact", "zed.ico", {}),
              installdir + "actors\\zed\\");
}

TEST_F(UserPlacesTest, PlaylistEntriesBesideThePlaylistThenBelowTheInstall) {
    const std::string list = dir.Write("lists/my.kpls", "");
    dir.Write("lists/mine.kact", "");
    dir.Write("install/actors/kobi/kobi.kact", "");
    dir.Write("lists/actors/kobi/kobi.kact", "");

    const PlaylistEntry beside = FindPlaylistEntry("mine.kact", list, installdir);
    EXPECT_TRUE(beside.found);
    EXPECT_FALSE(beside.asStands);
    EXPECT_EQ(beside.path, dir / "lists/mine.kact");
    // Beside the playlist comes before the install.
    EXPECT_EQ(FindPlaylistEntry("actors\\kobi\\kobi.kact", list, installdir).path,
              dir / "lists/" + "actors\\kobi\\kobi.kact");
    const std::string other = dir.Write("elsewhere/samples.kpls", "");
    EXPECT_EQ(FindPlaylistEntry("actors\\kobi\\kobi.kact", other, installdir).path,
              installdir + "actors\\kobi\\kobi.kact");

    const PlaylistEntry absolute = FindPlaylistEntry(dir / "lists/mine.kact", other, installdir);
    EXPECT_TRUE(absolute.found && absolute.asStands);
    EXPECT_FALSE(FindPlaylistEntry("gone.kact", list, installdir).found);
    EXPECT_FALSE(FindPlaylistEntry("", list, installdir).found);
    EXPECT_FALSE(FindPlaylistEntry(dir / "gone.kact", list, installdir).found);
}

TEST_F(UserPlacesTest, RelativeNamesAreReadFromTheWorkingDirectoryFirstThenBelowTheInstall) {
    dir.Write("work/both.kact", "");
    dir.Write("work/sub/here.kact", "");
    dir.Write("install/both.kact", "");
    dir.Write("install/actors/kobi/kobi.kact", "");
    const std::string list = dir.Write("lists/my.kpls", "");
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir / "work");
    const std::string here = std::filesystem::current_path().string();

    EXPECT_EQ(ActorFileFromWorkingDirectory("both.kact", installdir), here + "/both.kact");
    EXPECT_EQ(ActorFileFromWorkingDirectory("sub\\here.kact", installdir), here + "/sub/here.kact");
    EXPECT_EQ(ActorFileFromWorkingDirectory("actors\\kobi\\kobi.kact", installdir),
              installdir + "actors\\kobi\\kobi.kact");
    // In neither place: below the install directory, so that messages name the usual place.
    EXPECT_EQ(ActorFileFromWorkingDirectory("gone.kact", installdir), installdir + "gone.kact");
    EXPECT_EQ(ActorFileFromWorkingDirectory(dir / "install/both.kact", installdir), dir / "install/both.kact");

    // A playlist entry found here is read here too, as the launcher reads it.
    const PlaylistEntry both = FindPlaylistEntry("both.kact", list, installdir);
    EXPECT_TRUE(both.found && both.asStands);
    EXPECT_EQ(both.path, here + "/both.kact");
    std::filesystem::current_path(old);
}
