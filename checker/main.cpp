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
#include "checker/qt_pictures.h"
#include "common/command_line.h"
#include "common/install_path.h"
#include "common/paths.h"
#include "common/qt/process_setup.h"
#include "common/qt/qt_support.h"
#include "launcher/launcher.h"

namespace {

constexpr const char* kUsage =
    "Usage: kobalcheck [--install DIR] [--] FILE.kact|FILE.kpls...\n"
    "  or:  kobalcheck --run SECONDS [--seed N] [--screen WxH] [--install DIR]\n"
    "                  [--] FILE.kact\n"
    "The first form reports every problem as \"file:line: error|warning|info: message\"\n"
    "and exits 1 when there was an error. The second runs the actor headless on a\n"
    "virtual clock and prints a timeline; the same seed gives the same timeline\n"
    "(and, for testing, kobalactor started with KOBALACTOR_TEST_SEED=N in its\n"
    "environment makes the same choices). DIR is the install directory (default:\n"
    "the install path setting, else the directory above this program's resource\n"
    "directory).\n";

constexpr const char* kOptions =
    "\nOptions:\n"
    "  --install DIR    check or run against the install directory DIR\n"
    "  --run SECONDS    run the actor headless for SECONDS of virtual time\n"
    "  --seed N         seed of the random choices (with --run; default 0)\n"
    "  --screen WxH     size of the virtual screen in pixels (default 1920x1080)\n"
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
        } else if (arg == "--install") {
            o.install = value("a directory");
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            Usage("unknown option " + arg);
        } else {
            o.files.push_back(arg);
        }
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

}  // namespace

int main(int argc, char** argv) {
    // No event loop runs here: a signal ends the checker at once, with a status.
    kobal::qt::PrepareProcess();
    QCoreApplication app(argc, argv);
    const Options options = Parse(argc, argv);
    const std::string cwd = std::filesystem::current_path().string();
    kobal::checker::QtPictureInspector pictures;

    if (options.run) {
        kobal::checker::RunOptions run;
        run.actorFile = Absolute(options.files[0]);
        run.installPath = InstallPath(options);
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
    kobal::checker::ActorChecker checker({InstallPath(options), kobal::UserPlacesFromEnvironment()}, pictures, report);
    std::vector<std::string> files;
    for (const std::string& file : options.files) files.push_back(Absolute(file));
    checker.CheckFiles(files);
    for (const std::string& line : report.Lines()) std::cout << line << "\n";
    std::cout.flush();
    std::cerr << "kobalcheck: " << report.errors() << (report.errors() == 1 ? " error, " : " errors, ")
              << report.warnings() << (report.warnings() == 1 ? " warning" : " warnings");
    if (report.infos() > 0) std::cerr << ", " << report.infos() << (report.infos() == 1 ? " info line" : " info lines");
    std::cerr << "\n";
    return report.errors() > 0 ? 1 : 0;
}
