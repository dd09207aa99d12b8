// kobalcheck: checks actor files before they run, and runs an actor
// headless on a virtual clock for a repeatable timeline.
#include <QCoreApplication>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "actor/actor_language.h"
#include "checker/actor_checker.h"
#include "checker/gif_writer.h"
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
    "                  [--click SECONDS]... [--message SECONDS LIST]...\n"
    "                  [--list LIST] [--summary] [--gif FILE] [--windows FILE]\n"
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
    "  --click SECONDS  a left click in the middle of the actor at that time of the\n"
    "                   run (seconds, to the millisecond: 2.5); repeatable\n"
    "  --message SECONDS LIST\n"
    "                   a link message arrives then, as from another actor: LIST is\n"
    "                   a list of the actor (\"*%*LIST\" is sent to every actor), or a\n"
    "                   whole message when it holds \"%\"; the timeline says whether\n"
    "                   the actor plays it or drops it, and why; repeatable\n"
    "  --list LIST      start by playing LIST, a random-choice list of the actor\n"
    "                   (named as the actor's own files name it), at time 0 as a\n"
    "                   link message would; the start state's list comes after it\n"
    "  --summary        in place of a line per change: actions, animations, lists,\n"
    "                   states, sounds, clicks and link texts as they change, then\n"
    "                   how long each ran and how often\n"
    "  --gif FILE       also write an animated GIF of the actor's pictures as the\n"
    "                   run shows them (the actor at the top-left corner, its moves\n"
    "                   left out; key colour transparent; at most 1000 frames)\n"
    "  --windows FILE   other programs' windows on the virtual screen, whose tops\n"
    "                   are floors when the windowfloors preference is 1: one\n"
    "                   window a line, bottom of the stack first, in pixels:\n"
    "                   LEFT TOP WIDTH HEIGHT, then optionally \"fullscreen\" (covers\n"
    "                   but never carries), \"closes AT\" and \"moves AT DX DY\" (AT in\n"
    "                   seconds of the run); \"#\" begins a comment; the timeline\n"
    "                   says when the actor lands on or falls from window N (its line\n"
    "                   among the windows)\n"
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
    // What --run previews.
    std::vector<long long> clicks;
    std::vector<std::pair<long long, std::string>> messages;
    std::string list, gif, windows;
    bool summary = false;
    std::vector<std::string> previewOptions;  // as given, for "needs --run"
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

// Names are read as the author typed them, from the working directory.
std::string Absolute(const std::string& name) {
    if (kobal::IsAbsolutePath(name)) return name;
    return (std::filesystem::current_path() / name).lexically_normal().string();
}

std::string Seconds(long long ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 == 0) return text;
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03lld", ms % 1000);
    text += fraction;
    while (text.back() == '0') text.pop_back();
    return text;
}

// Seconds to the millisecond ("2", "2.5", "0.025"), as milliseconds.
long long Milliseconds(const std::string& text, const std::string& what) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    const bool digits = !whole.empty() && whole.find_first_not_of("0123456789") == std::string::npos &&
                        fraction.find_first_not_of("0123456789") == std::string::npos && fraction.size() <= 3 &&
                        (dot == std::string::npos || !fraction.empty());
    if (!digits || whole.size() > 6)
        Usage(what + " " + (text.empty() ? "(empty)" : "\"" + text + "\"") +
              " is not a time in seconds such as 5 or 2.5 (to the millisecond)");
    fraction.resize(3, '0');
    return std::stoll(whole) * 1000 + std::stoll(fraction);
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
        } else if (arg == "--click") {
            o.clicks.push_back(Milliseconds(value("a time in seconds"), "--click"));
            o.previewOptions.push_back(arg);
        } else if (arg == "--message") {
            const long long ms = Milliseconds(value("a time in seconds and a LIST"), "--message");
            const std::string list = value("a LIST after the time");
            if (list.empty()) Usage("--message needs a LIST after the time, and it is empty");
            o.messages.emplace_back(ms, list);
            o.previewOptions.push_back(arg);
        } else if (arg == "--list") {
            o.list = value("a random-choice list of the actor");
            if (!kobal::actor::IsListName(o.list))
                Usage("--list takes a random-choice list (a name ending in .krnd), and \"" + o.list + "\" is not one");
            o.previewOptions.push_back(arg);
        } else if (arg == "--summary") {
            o.summary = true;
            o.previewOptions.push_back(arg);
        } else if (arg == "--gif") {
            o.gif = value("a FILE to write");
            if (o.gif.empty()) Usage("--gif needs a FILE to write, and it is empty");
            const std::filesystem::path folder = std::filesystem::path(Absolute(o.gif)).parent_path();
            if (!kobal::DirectoryExists(folder.string()))
                Usage("cannot write the GIF \"" + o.gif + "\": folder \"" + folder.string() + "\" not found");
            o.previewOptions.push_back(arg);
        } else if (arg == "--windows") {
            o.windows = value("a FILE of windows");
            if (o.windows.empty()) Usage("--windows needs a FILE of windows, and it is empty");
            o.previewOptions.push_back(arg);
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
    if (!o.run && !o.previewOptions.empty()) Usage(o.previewOptions.front() + " needs --run SECONDS");
    for (long long ms : o.clicks)
        if (ms > o.seconds * 1000)
            Usage("--click " + Seconds(ms) + " is after the end of the run (" + std::to_string(o.seconds) +
                  " seconds)");
    for (const auto& [ms, list] : o.messages)
        if (ms > o.seconds * 1000)
            Usage("--message " + Seconds(ms) + " is after the end of the run (" + std::to_string(o.seconds) +
                  " seconds)");
    if (o.files.empty()) Usage("no actor file or playlist given");
    if (o.run && o.files.size() != 1) Usage("--run takes exactly one actor file");
    // A playlist would be read as an actor file and fail at its first line.
    if (o.run && kobal::launcher::ClassifyTarget(o.files[0]) == kobal::launcher::TargetKind::Playlist)
        Usage("--run takes one actor file, and " + o.files[0] + " is a playlist");
    return o;
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

// --gif: the preview beside the timeline; a file that cannot be written fails the run.
int WriteGif(const std::string& file, const std::vector<kobal::checker::ShownFrame>& shown,
             kobal::checker::PictureInspector& pictures, int status) {
    const kobal::checker::GifPreview gif = kobal::checker::PreviewGif(shown, pictures);
    std::ofstream out(Absolute(file), std::ios::binary | std::ios::trunc);
    out.write(gif.bytes.data(), static_cast<std::streamsize>(gif.bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "kobalcheck: cannot write the GIF " << file << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    std::cerr << "kobalcheck: wrote " << file << ": " << gif.frames << (gif.frames == 1 ? " frame" : " frames") << ", "
              << gif.width << "x" << gif.height << " pixels, 0 to " << gif.untilMs << " ms";
    if (gif.cut) std::cerr << " (the first " << kobal::checker::kMaxGifFrames << " frames only)";
    std::cerr << "\n";
    return status;
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
        run.clicks.assign(options.clicks.begin(), options.clicks.end());
        for (const auto& [ms, list] : options.messages) run.arrivals.push_back({ms, kobal::checker::LinkTextFor(list)});
        run.firstList = options.list;
        run.summary = options.summary;
        if (!options.windows.empty()) {
            try {
                run.windows = kobal::checker::ReadWindowLayout(Absolute(options.windows), options.windows);
            } catch (const kobal::checker::LayoutError& e) {
                std::cerr << "kobalcheck: " << e.what() << "\n";
                return 2;
            }
            run.windowLayout = true;
        }
        std::vector<kobal::checker::ShownFrame> shown;
        const int status =
            kobal::checker::RunHeadless(run, pictures, std::cout, options.gif.empty() ? nullptr : &shown);
        std::cout.flush();
        if (!options.gif.empty()) return WriteGif(options.gif, shown, pictures, status);
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
