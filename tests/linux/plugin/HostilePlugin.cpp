// A Qt plugin of the tests' own, offered to Talvex through the environment the way any
// local user can (QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS). When Qt loads it, it
// writes the process's effective capabilities to $TALVEX_PLUGIN_REPORT and tries to
// give the process $TALVEX_PLUGIN_VICTIM (one of root's) nice 19 and -20: a program
// with a window that holds no right can do neither.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QGenericPlugin>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string CapEffLine() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return "CapEff: unreadable\n";
    char line[256];
    std::string found = "CapEff: missing\n";
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "CapEff:", 7) == 0) found = line;
    }
    std::fclose(status);
    return found;
}

// Runs when the library is loaded, before Qt asks it for anything.
const bool kReported = [] {
    const char* report = std::getenv("TALVEX_PLUGIN_REPORT");
    const char* victim = std::getenv("TALVEX_PLUGIN_VICTIM");
    if (victim) {
        const auto pid = static_cast<id_t>(std::atoi(victim));
        ::setpriority(PRIO_PROCESS, pid, 19);
        ::setpriority(PRIO_PROCESS, pid, -20);
    }
    if (report) {
        const int fd = ::open(report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const std::string line = CapEffLine();
            if (::write(fd, line.data(), line.size()) < 0) std::perror("report");
            ::close(fd);
        }
    }
    return true;
}();

}  // namespace

class HostilePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "hostile.json")

  public:
    QObject* create(const QString&, const QString&) override { return nullptr; }
};

#include "HostilePlugin.moc"
