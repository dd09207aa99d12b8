// kobal_desktop_reference: what bare Qt costs here, for the desktop
// benchmark to set the actors beside. One frameless tool window with a
// shaped 64x64 picture; a timer every 40 ms either does nothing ("timer") or
// moves the window two pixels with QWidget::move ("move"). Ticks are
// counted as the actor counts its frames (KOBALACTOR_FRAME_COUNTER).
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <string>

namespace {

uint64_t* OpenCounter() {
    const char* dir = std::getenv("KOBALACTOR_FRAME_COUNTER");
    if (!dir || !*dir) return nullptr;
    const std::string path = std::string(dir) + "/" + std::to_string(::getpid());
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    void* p = MAP_FAILED;
    if (::ftruncate(fd, sizeof(uint64_t)) == 0)
        p = ::mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<uint64_t*>(p);
}

class Figure : public QWidget {
  public:
    Figure() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(40, 90, 200));
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool moving = argc > 1 && std::string(argv[1]) == "move";
    uint64_t* ticks = OpenCounter();

    Figure window;
    window.resize(64, 64);
    window.setMask(QRegion(0, 0, 64, 64, QRegion::Ellipse));
    window.move(900, 500);
    window.show();

    int x = 900, step = 2;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (ticks) ++*ticks;
        if (!moving) return;
        if (x + step > 1800 || x + step < 100) step = -step;
        x += step;
        window.move(x, 500);
    });
    timer.start(40);
    return app.exec();
}
