// kobalcheck: checks actor files before they run, and runs an actor
// headless on a virtual clock for a repeatable timeline.
#include <QCoreApplication>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "checker/actor_checker.h"
#include "checker/headless_run.h"
#include "checker/new_actor.h"
#include "checker/qt_pictures.h"
#include "common/command_line.h"
#include "common/install_path.h"
#include "common/paths.h"
#include "common/qt/process_setup.h"
#include "common/qt/qt_support.h"
#include "common/user_places.h"
#include "launcher/launcher.h"

namespace {

constexpr const char* kUsage =
    "Usage: kobalcheck [--install DIR] [--] FILE.kact|FILE.kpls...\n"
    "  or:  kobalcheck --run SECONDS [--seed N] [--screen WxH] [--install DIR]\n"
    "                  [--] FILE.kact\n"
    "  or:  kobalcheck --new NAME DIR\n"
    "The first form reports every problem as \"file:line: error|warning|info: message\"\n"
    "and exits 1 when there was an error. The second runs the actor headless on a\n"
    "virtual clock and prints a timeline; the same seed gives the same timeline\n"
    "(and, for testing, kobalactor started with KOBALACTOR_TEST_SEED=N in its\n"
    "environment makes the same choices). DIR is the install directory (default:\n"
    "the install path setting, else the directory above this program's resource\n"
    "directory). The third writes a small working actor to start from into the\n"
    "new folder NAME in DIR (here any folder of yours, made when missing); it\n"
    "never writes over an existing folder.\n";

constexpr const char* kOptions =
    "\nOptions:\n"
    "  --install DIR    check or run against the install directory DIR\n"
    "  --run SECONDS    run the actor headless for SECONDS of virtual time\n"
    "  --seed N         seed of the random choices (with --run; default 0)\n"
    "  --screen WxH     size of the virtual screen in pixels (default 1920x1080)\n"
    "  --new NAME DIR   write a small working actor into DIR/NAME/\n"
    "  --help           display this help and exit\n"
    "  --version        output version information and exit\n"
    "  --               what follows are file names, even those that begin with \"-\"\n";

struct Options {
    bool run = false;
    long long seconds = 0;
    unsigned long long seed = 0;
    int screenWidth = 1920;
    int screenHeight = 1080;
    std::string install;
    std::vector<std::string> files;
    // --new NAME DIR
    bool newActor = false;
    std::string newName, newDir;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "kobalcheck: " << problem << "\n" << kUsage;
    std::exit(2);
}

template <typename T>
T Number(const std::string& text, const char* what, T low, T high) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        Usage(std::string(what) + " " + (text.empty() ? "(empty)" : "\"" + text + "\"") + " is not a number from " +
              std::to_string(low) + " to " + std::to_string(high));
    return value;
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) Usage(arg + " needs " + what);
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << kOptions;
            std::exit(0);
        } else if (arg == "--version") {
            std::cout << "kobalcheck (Kobaltron) " << kobal::ProductVersion() << "\n";
            std::exit(0);
        } else if (arg == "--") {
            o.files.insert(o.files.end(), argv + i + 1, argv + argc);
            break;
        } else if (arg == "--run") {
            o.run = true;
            o.seconds = Number<long long>(value("a number of seconds"), "SECONDS", 0, 7 * 86400);
        } else if (arg == "--seed") {
            o.seed = Number<unsigned long long>(value("a number"), "seed", 0, ~0ull);
        } else if (arg == "--screen") {
            const std::string size = value("a size such as 1920x1080");
            const size_t x = size.find('x');
            if (x == std::string::npos) Usage("screen size \"" + size + "\" is not WIDTHxHEIGHT");
            o.screenWidth = Number<int>(size.substr(0, x), "screen width", 1, 100000);
            o.screenHeight = Number<int>(size.substr(x + 1), "screen height", 1, 100000);
        } else if (arg == "--new") {
            o.newActor = true;
            o.newName = value("a NAME and a DIR");
            o.newDir = value("a DIR after the NAME");
        } else if (arg == "--install") {
            o.install = value("a directory");
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            Usage("unknown option " + arg);
        } else {
            o.files.push_back(arg);
        }
    }
    if (o.newActor) {
        if (o.run || !o.files.empty()) Usage("--new takes a NAME and a DIR, and no other file or --run");
        if (const std::string problem = kobal::checker::NewActorNameProblem(o.newName); !problem.empty())
            Usage(problem);
        return o;
    }
    if (o.files.empty()) Usage("no actor file or playlist given");
    if (o.run && o.files.size() != 1) Usage("--run takes exactly one actor file");
    // A playlist would be read as an actor file and fail at its first line.
    if (o.run && kobal::launcher::ClassifyTarget(o.files[0]) == kobal::launcher::TargetKind::Playlist)
        Usage("--run takes one actor file, and " + o.files[0] + " is a playlist");
    return o;
}

// Names are read as the author typed them, from the working directory.
std::string Absolute(const std::string& name) {
    if (kobal::IsAbsolutePath(name)) return name;
    return (std::filesystem::current_path() / name).lexically_normal().string();
}

// An actor file or playlist is found as the launcher finds it: in the working
// directory, else below the install directory; in neither, as typed here.
std::string ActorOrPlaylist(const std::string& name, const std::string& installPath) {
    const std::string found = kobal::ActorFileFromWorkingDirectory(name, kobal::InstallDirFrom(installPath));
    if (kobal::IsAbsolutePath(name) || !kobal::FileExists(found)) return Absolute(name);
    return std::filesystem::path(kobal::NativePath(found)).lexically_normal().string();
}

std::string InstallPath(const Options& o) {
    if (!o.install.empty()) {
        std::string dir = Absolute(o.install);
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        if (!kobal::DirectoryExists(dir)) Usage("install directory \"" + o.install + "\" not found");
        return dir;
    }
    kobal::qt::QtInstallPathStore store;
    return kobal::ReadInstallPath(store,
                                  kobal::DefaultInstallPath(kobal::qt::S(QCoreApplication::applicationDirPath())));
}

// --new: writes the actor and says what went where, and how to go on.
int NewActor(const Options& o) {
    std::string folder;
    try {
        // Below the install directory a relative actorpath names that folder
        // first: an actor there of the same name would lend it its files.
        const std::string install = InstallPath(o);
        if (kobal::DirectoryExists(install + "/actors/" + o.newName)) {
            std::cerr << "kobalcheck: " << install << "/actors/ already holds an actor folder named " << o.newName
                      << ": a new actor of that name would use its files; choose another NAME\n";
            return 1;
        }
        folder = kobal::checker::WriteNewActor(o.newName, o.newDir);
    } catch (const kobal::checker::NewActorError& e) {
        std::cerr << "kobalcheck: " << e.what() << "\n";
        return 1;
    }
    std::cout << kobal::checker::NewActorReport(o.newName, folder);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // No event loop runs here: a signal ends the checker at once, with a status.
    kobal::qt::PrepareProcess();
    QCoreApplication app(argc, argv);
    const Options options = Parse(argc, argv);
    if (options.newActor) return NewActor(options);
    const std::string cwd = std::filesystem::current_path().string();
    kobal::checker::QtPictureInspector pictures;

    if (options.run) {
        kobal::checker::RunOptions run;
        run.installPath = InstallPath(options);
        run.actorFile = ActorOrPlaylist(options.files[0], run.installPath);
        run.user = kobal::UserPlacesFromEnvironment();
        run.seconds = static_cast<int>(options.seconds);
        run.seed = options.seed;
        run.screenWidth = options.screenWidth;
        run.screenHeight = options.screenHeight;
        run.displayBase = cwd;
        const int status = kobal::checker::RunHeadless(run, pictures, std::cout);
        std::cout.flush();
        return status;
    }

    kobal::checker::Report report(cwd);
    const std::string installPath = InstallPath(options);
    kobal::checker::ActorChecker checker({installPath, kobal::UserPlacesFromEnvironment()}, pictures, report);
    std::vector<std::string> files;
    for (const std::string& file : options.files) files.push_back(ActorOrPlaylist(file, installPath));
    checker.CheckFiles(files);
    for (const std::string& line : report.Lines()) std::cout << line << "\n";
    std::cout.flush();
    std::cerr << "kobalcheck: " << report.errors() << (report.errors() == 1 ? " error, " : " errors, ")
              << report.warnings() << (report.warnings() == 1 ? " warning" : " warnings");
    if (report.infos() > 0) std::cerr << ", " << report.infos() << (report.infos() == 1 ? " info line" : " info lines");
    std::cerr << "\n";
    return report.errors() > 0 ? 1 : 0;
}
