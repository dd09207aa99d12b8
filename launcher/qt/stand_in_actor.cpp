// Stands in for the actor program in the launcher's process tests: records
// when it started and with which arguments, then stays alive (up to a
// minute) so that a test can see it outlive the launcher.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    const char* log = std::getenv("KOBAL_STAND_IN_LOG");
    if (!log) return 2;
    const auto now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    // One line per process: start time, pid, argument count, arguments.
    std::string line =
        std::to_string(now.count()) + "\t" + std::to_string(::getpid()) + "\t" + std::to_string(argc - 1);
    for (int i = 1; i < argc; ++i) line += std::string("\t") + argv[i];
    line += "\n";
    const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) return 3;
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    if (!written) return 4;
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
