// The peer of the start-up benchmark: a bare Qt window of the main window's size, nothing else.
// Prints "first-paint-ms <milliseconds since the process started> vmhwm-kb <peak resident set>
// at-ms <CLOCK_BOOTTIME now>" at its first paint, as the program's start-up probe does, and ends.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

double MillisecondsSinceStart()
{
    std::ifstream stat("/proc/self/stat");
    const std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = content.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    const char* cursor = content.c_str() + close + 2;
    for (int field = 3; field < 22; ++field) { // field 22: the start time in clock ticks since boot
        cursor = std::strchr(cursor, ' ');
        if (cursor == nullptr) {
            return -1;
        }
        ++cursor;
    }
    const double startTicks = static_cast<double>(std::strtoull(cursor, nullptr, 10));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6
           - startTicks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

class Window final : public QWidget
{
protected:
    bool event(QEvent* event) override
    {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            QTimer::singleShot(0, this, [] {
                timespec now{};
                ::clock_gettime(CLOCK_BOOTTIME, &now);
                std::printf("first-paint-ms %.1f vmhwm-kb %ld at-ms %.3f\n",
                            MillisecondsSinceStart(),
                            PeakResidentKb(),
                            static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return handled;
    }

private:
    bool m_reported = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Window window;
    window.setWindowTitle(QStringLiteral("Marlune"));
    window.resize(970, 630);
    window.show();
    return QApplication::exec();
}
