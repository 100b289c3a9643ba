#include "app/StartupProbe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <time.h>
#include <unistd.h>

#include <QEvent>
#include <QObject>
#include <QTimer>

#include "app/CZandor_ClientApp.h"
#include "app/CZandor_ClientDlg.h"
#include "platform/Messages.h"

namespace app {
namespace {

// Milliseconds from the process's start (as the kernel recorded it) to now.
double MillisecondsSinceStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22 (starttime, in clock ticks since boot) follows the ")" that ends the command name.
    const std::size_t close = content.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    unsigned long long startTicks = 0;
    const char* cursor = content.c_str() + close + 2;
    for (int field = 3; field < 22; ++field) {
        cursor = std::strchr(cursor, ' ');
        if (cursor == nullptr) {
            return -1;
        }
        ++cursor;
    }
    startTicks = std::strtoull(cursor, nullptr, 10);
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
    return nowMs - static_cast<double>(startTicks) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
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

// Watches the main window's paints; reports the first and asks the window to close.
class FirstPaintWatch final : public QObject
{
public:
    explicit FirstPaintWatch(CZandor_ClientDlg& window)
        : QObject(&window)
        , m_window(window)
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_window && event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            // Report once the paint has run.
            QTimer::singleShot(0, this, [this] {
                timespec now{};
                ::clock_gettime(CLOCK_BOOTTIME, &now);
                std::printf("first-paint-ms %.1f vmhwm-kb %ld at-ms %.3f\n",
                            MillisecondsSinceStart(),
                            PeakResidentKb(),
                            static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6);
                std::fflush(stdout);
                m_window.Post(platform::msg::ExternalClose, 0, 0);
            });
        }
        return false;
    }

private:
    CZandor_ClientDlg& m_window;
    bool m_reported = false;
};

} // namespace

void InstallStartupProbe(AppOptions& options)
{
    const char* probe = std::getenv("MARLUNE_STARTUP_PROBE");
    if (probe == nullptr || probe[0] == '\0') {
        return;
    }
    options.mainWindowCreated = [](CZandor_ClientDlg& window) { new FirstPaintWatch(window); };
}

} // namespace app
